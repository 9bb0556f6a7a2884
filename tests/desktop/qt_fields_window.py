#!/usr/bin/python3
# A Qt 6 window as a user's Qt program has it: a menu bar a lone Alt would take the focus to, a
# multi-line text field (focused) and a one-line one, on X11 as most Qt programs still run.
#   qt_fields_window.py [FILE]      FILE's text in the multi-line field, the caret at its end
import os
import sys

from PyQt6.QtGui import QTextCursor
from PyQt6.QtWidgets import (QApplication, QLineEdit, QMainWindow, QTextEdit, QVBoxLayout,
                             QWidget)

os.environ["QT_QPA_PLATFORM"] = "xcb"
application = QApplication(sys.argv)
window = QMainWindow()
window.setWindowTitle("Qt fields")
window.menuBar().addMenu("&File").addAction("&Quit", application.quit)
window.menuBar().addMenu("&Edit")
fields = QWidget()
layout = QVBoxLayout(fields)
notes = QTextEdit()
if len(sys.argv) > 1:
    with open(sys.argv[1], encoding="utf-8") as shown:
        notes.setPlainText(shown.read())
    notes.moveCursor(QTextCursor.MoveOperation.End)
layout.addWidget(notes)
layout.addWidget(QLineEdit())
window.setCentralWidget(fields)
window.resize(400, 300)
window.show()
notes.setFocus()
sys.exit(application.exec())
