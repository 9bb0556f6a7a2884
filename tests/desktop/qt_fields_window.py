#!/usr/bin/python3
# A Qt 6 window as a user's Qt program has it: a menu bar a lone Alt would take the focus to, a
# multi-line text field (focused) and a one-line one.
import sys

from PyQt6.QtWidgets import (QApplication, QLineEdit, QMainWindow, QTextEdit, QVBoxLayout,
                             QWidget)

application = QApplication(sys.argv)
window = QMainWindow()
window.setWindowTitle("Qt fields")
window.menuBar().addMenu("&File").addAction("&Quit", application.quit)
window.menuBar().addMenu("&Edit")
fields = QWidget()
layout = QVBoxLayout(fields)
notes = QTextEdit()
layout.addWidget(notes)
layout.addWidget(QLineEdit())
window.setCentralWidget(fields)
window.resize(400, 300)
window.show()
notes.setFocus()
sys.exit(application.exec())
