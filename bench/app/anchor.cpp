// SPDX-License-Identifier: MIT
// The anchor of the start-up benchmark: the least a Qt Widgets program with one window does.
// With --text the window also shows one line of text, which brings in the font system (font
// configuration, font database, glyphs) that any window with words in it pays for.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Anchor");
  window.resize(411, 219);
  if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
    (new QLabel("Опрос термометров завершен.", &window))->move(8, 8);
  window.show();
  return QApplication::exec();
}
