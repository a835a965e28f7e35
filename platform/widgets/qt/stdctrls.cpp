// SPDX-License-Identifier: MIT
#include <widgets/stdctrls.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "qt_bridge.h"

using widgets_detail::CallHandler;
using widgets_detail::FromQt;
using widgets_detail::NewWidget;
using widgets_detail::ToQt;

namespace {

template <class W>
W* As(const TControl& Control) {
  return static_cast<W*>(Control.Widget());
}

}  // namespace

// ---- TLabel -----------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, NewWidget<QLabel>("TLabel")) {
  As<QLabel>(*this)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

std::string TLabel::GetCaption() const { return FromQt(As<QLabel>(*this)->text()); }

void TLabel::SetCaption(const std::string& Value) {
  As<QLabel>(*this)->setText(ToQt(Value));
  if (!Reading()) AdjustBounds();
}

// The font the label is drawn with: its own, or the one it inherits from its parent widget.
std::pair<int, int> TLabel::TextExtent() const {
  const QLabel* label = As<QLabel>(*this);
  const QSize size = QFontMetrics(label->font()).size(0, label->text());
  const QMargins margins = label->contentsMargins();
  return {size.width() + margins.left() + margins.right(),
          size.height() + margins.top() + margins.bottom()};
}

// ---- TButton ----------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QPushButton>("TButton")) {
  auto* button = As<QPushButton>(*this);
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, button, [this] { CallHandler(OnClick, this); });
}

std::string TButton::GetCaption() const { return FromQt(As<QPushButton>(*this)->text()); }

void TButton::SetCaption(const std::string& Value) { As<QPushButton>(*this)->setText(ToQt(Value)); }

void TButton::Click() {
  if (Widget()->isEnabled()) CallHandler(OnClick, this);
}

// ---- TEdit ------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QLineEdit>("TEdit")) {
  SetColor(clWindow);
}

std::string TEdit::GetText() const { return FromQt(As<QLineEdit>(*this)->text()); }

void TEdit::SetText(const std::string& Value) { As<QLineEdit>(*this)->setText(ToQt(Value)); }

bool TEdit::GetReadOnly() const { return As<QLineEdit>(*this)->isReadOnly(); }

void TEdit::SetReadOnly(bool Value) { As<QLineEdit>(*this)->setReadOnly(Value); }

// ---- TCheckBox --------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QCheckBox>("TCheckBox")) {
  auto* box = As<QCheckBox>(*this);
  QObject::connect(box, &QCheckBox::toggled, box, [this] {
    if ((ComponentState() & csLoading) == 0) CallHandler(OnClick, this);
  });
}

std::string TCheckBox::GetCaption() const { return FromQt(As<QCheckBox>(*this)->text()); }

void TCheckBox::SetCaption(const std::string& Value) { As<QCheckBox>(*this)->setText(ToQt(Value)); }

bool TCheckBox::GetChecked() const { return As<QCheckBox>(*this)->isChecked(); }

void TCheckBox::SetChecked(bool Value) { As<QCheckBox>(*this)->setChecked(Value); }

// ---- TMemo ------------------------------------------------------------------------------------

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QPlainTextEdit>("TMemo")) {
  auto* memo = As<QPlainTextEdit>(*this);
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setTabChangesFocus(true);
  memo->document()->setDocumentMargin(2);
  SetColor(clWindow);
}

TStringItems TMemo::GetLines() const {
  TStringItems lines;
  const QString text = As<QPlainTextEdit>(*this)->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(FromQt(line));
  return lines;
}

void TMemo::SetLines(const TStringItems& Value) {
  QStringList lines;
  for (const std::string& line : Value) lines.push_back(ToQt(line));
  As<QPlainTextEdit>(*this)->setPlainText(lines.join(QLatin1Char('\n')));
}

bool TMemo::GetReadOnly() const { return As<QPlainTextEdit>(*this)->isReadOnly(); }

void TMemo::SetReadOnly(bool Value) { As<QPlainTextEdit>(*this)->setReadOnly(Value); }

void TMemo::SetBorderStyle(TBorderStyle Value) {
  FBorderStyle = Value;
  As<QPlainTextEdit>(*this)->setFrameShape(Value == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

// ---- TGroupBox --------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QGroupBox>("TGroupBox")) {}

std::string TGroupBox::GetCaption() const { return FromQt(As<QGroupBox>(*this)->title()); }

void TGroupBox::SetCaption(const std::string& Value) {
  As<QGroupBox>(*this)->setTitle(ToQt(Value));
}
