// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/ToolImages.h"

TAboutBox::TAboutBox(QWidget* Parent) : QDialog(Parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setModal(false);
  setFixedSize(298, 213);
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(8, 8, 282, 161);
  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setAccessibleName("Program icon");
  ProgramIcon->setGeometry(8, 8, 33, 33);
  ProgramIcon->setPixmap(::ProgramIcon().pixmap(32, 32));
  ProductName = new QLabel("Tarvik - Terminal", Panel1);
  ProductName->setObjectName("ProductName");
  ProductName->setGeometry(88, 16, 180, 16);
  Version = new QLabel("Version 0.31a", Panel1);
  Version->setObjectName("Version");
  Version->setGeometry(88, 40, 180, 16);
  Comments = new QLabel(
      "A serial port terminal for small boards:\ntext and binary file sending,\nXMODEM "
      "transfers and a DTR reset pulse.",
      Panel1);
  Comments->setObjectName("Comments");
  Comments->setGeometry(8, 80, 266, 64);
  Comments->setWordWrap(true);
  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(111, 178, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QWidget::hide);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}
