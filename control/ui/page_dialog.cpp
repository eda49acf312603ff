#include "control/ui/page_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "control/ui/dialog_font.h"
#include "control/ui/page_layouts.h"

namespace ravlin::ui {
namespace {

QString Text(const char16_t* text) {
  return text ? QString::fromUtf16(text) : QString();
}

QRect Place(const du_rect& r, const QFont& font) {
  return DuRect(r.x, r.y, r.width, r.height, font);
}

}  // namespace

PageDialog::PageDialog(page_editor* editor, QWidget* parent, QPoint at)
    : QWidget(parent), editor_(editor), widgets_(editor->Spec().controls.size(), nullptr) {
  setObjectName(QString::fromUtf16(editor->Spec().className));
  setFont(DialogFont());
  setAutoFillBackground(true);
  const QSize size = DialogUnitsToPixels({kPortPageWidthDu, kPortPageHeightDu}, font());
  setGeometry(QRect(at, size));
  Build();
  Refresh(kAllControls);
}

PageDialog::~PageDialog() {
  if (editor_) editor_->ViewGone();
}

void PageDialog::Build() {
  const page_spec& spec = editor_->Spec();
  const page_layout* layout = LayoutFor(spec.className);
  if (!layout) return;
  const QFont dialogFont = font();
  auto indexOf = [&spec](int id) {
    for (std::size_t i = 0; i < spec.controls.size(); ++i)
      if (spec.controls[i].id == id) return i;
    return kAllControls;
  };
  for (const layout_item& item : layout->items) {
    const QRect at = Place(item.at, dialogFont);
    switch (item.kind) {
      case layout_kind::group: {
        auto* group = new QGroupBox(Text(item.text), this);
        group->setObjectName(QString::fromLatin1(item.name));
        group->setGeometry(at);
        group->lower();
        break;
      }
      case layout_kind::label:
      case layout_kind::note: {
        auto* label = new QLabel(Text(item.text), this);
        label->setObjectName(item.kind == layout_kind::label && item.id
                                 ? QStringLiteral("label%1").arg(item.id)
                                 : QString::fromLatin1(item.name));
        label->setGeometry(at);
        break;
      }
      case layout_kind::reset: {
        auto* button = new QPushButton(Text(item.text), this);
        button->setObjectName(QString::number(item.id));
        button->setGeometry(at);
        connect(button, &QPushButton::clicked, this, [this] {
          if (editor_) editor_->UserPressedReset();
        });
        break;
      }
      case layout_kind::control: {
        const std::size_t index = indexOf(item.id);
        if (index == kAllControls) break;
        const control_spec& control = spec.controls[index];
        QWidget* widget = nullptr;
        switch (control.kind) {
          case control_kind::edit:
          case control_kind::number_edit: {
            auto* edit = new QLineEdit(this);
            if (control.kind == control_kind::number_edit)
              edit->setValidator(new QRegularExpressionValidator(
                  QRegularExpression(QStringLiteral("[0-9]*")), edit));
            connect(edit, &QLineEdit::textChanged, this, [this, index](const QString& text) {
              if (!refreshing_ && editor_) editor_->UserEdited(index, text.toStdU16String());
            });
            widget = edit;
            break;
          }
          case control_kind::editable_list:
          case control_kind::list: {
            auto* combo = new QComboBox(this);
            if (control.kind == control_kind::editable_list) {
              combo->setEditable(true);
              combo->setInsertPolicy(QComboBox::NoInsert);
              connect(combo, &QComboBox::editTextChanged, this, [this, index](const QString& text) {
                if (!refreshing_ && editor_) editor_->UserEdited(index, text.toStdU16String());
              });
            } else {
              connect(combo, &QComboBox::currentIndexChanged, this, [this, index](int selection) {
                if (!refreshing_ && editor_) editor_->UserSelected(index, selection);
              });
            }
            widget = combo;
            break;
          }
          case control_kind::check:
          case control_kind::mask_check: {
            auto* box = new QCheckBox(Text(item.text), this);
            connect(box, &QCheckBox::toggled, this, [this, index](bool checked) {
              if (!refreshing_ && editor_) editor_->UserChecked(index, checked);
            });
            widget = box;
            break;
          }
        }
        widget->setObjectName(QString::number(item.id));
        widget->setGeometry(at);
        widgets_[index] = widget;
        break;
      }
    }
  }
}

void PageDialog::Fill(std::size_t index) {
  QWidget* widget = widgets_[index];
  if (!widget || !editor_) return;
  const control_spec& control = editor_->Spec().controls[index];
  const control_state& state = editor_->State(index);
  widget->setEnabled(state.enabled);
  switch (control.kind) {
    case control_kind::edit:
    case control_kind::number_edit:
      static_cast<QLineEdit*>(widget)->setText(QString::fromStdU16String(state.text));
      break;
    case control_kind::editable_list:
    case control_kind::list: {
      auto* combo = static_cast<QComboBox*>(widget);
      combo->clear();
      for (const list_entry& entry : control.entries) combo->addItem(Text(entry.text));
      if (control.kind == control_kind::editable_list) {
        combo->setCurrentIndex(-1);
        combo->setEditText(QString::fromStdU16String(state.text));
      } else {
        combo->setCurrentIndex(state.selection);
      }
      break;
    }
    case control_kind::check:
    case control_kind::mask_check:
      static_cast<QCheckBox*>(widget)->setChecked(state.checked);
      break;
  }
}

void PageDialog::Refresh(std::size_t control) {
  refreshing_ = true;
  if (control == kAllControls) {
    for (std::size_t i = 0; i < widgets_.size(); ++i) Fill(i);
  } else if (control < widgets_.size()) {
    Fill(control);
  }
  refreshing_ = false;
}

void PageDialog::Show(bool visible) {
  setVisible(visible);
}

void PageDialog::Move(const win::RECT& rect) {
  move(rect.left, rect.top);
}

void PageDialog::Destroy() {
  editor_ = nullptr;
  delete this;
}

}  // namespace ravlin::ui
