#include "toolkit/property_sheet.h"

#include "toolkit/window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace vexa::toolkit {

struct PropertySheet::State {
    QPointer<QDialog> dialog;
    PropertyChanged changed;
    std::function<void()> closed;
};

namespace {

constexpr int kMaxVisibleRows = 12;  // beyond this the rows scroll
constexpr int kRowHeight = 30;

QWidget* sliderRow(const PropertyItem& item, const PropertyChanged& changed, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setRange(item.minimum, std::max(item.minimum, item.maximum));
    slider->setSingleStep(std::max(1, item.step));
    slider->setPageStep(std::max(1, item.step));
    slider->setValue(item.value);
    slider->setMinimumWidth(180);
    auto* value = new QLabel(QString::number(item.value), box);
    value->setMinimumWidth(48);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(slider, 1);
    row->addWidget(value);
    const int step = std::max(1, item.step);
    const int minimum = item.minimum;
    QObject::connect(slider, &QSlider::valueChanged, box, [=](int v) {
        // The device takes only values on its step grid.
        const int snapped = minimum + (v - minimum) / step * step;
        value->setText(QString::number(snapped));
        if (changed) changed(item.id, snapped);
    });
    return box;
}

QWidget* controlFor(const PropertyItem& item, const PropertyChanged& changed, QWidget* parent) {
    switch (item.kind) {
        case PropertyItem::Kind::kSlider:
            return sliderRow(item, changed, parent);
        case PropertyItem::Kind::kCheck: {
            auto* check = new QCheckBox(parent);
            check->setChecked(item.value != 0);
            QObject::connect(check, &QCheckBox::toggled, check, [=](bool on) {
                if (changed) changed(item.id, on ? 1 : 0);
            });
            return check;
        }
        case PropertyItem::Kind::kMenu: {
            auto* menu = new QComboBox(parent);
            for (const auto& [value, text] : item.choices) {
                menu->addItem(QString::fromStdString(text), value);
                if (value == item.value) menu->setCurrentIndex(menu->count() - 1);
            }
            QObject::connect(menu, &QComboBox::activated, menu, [=](int index) {
                if (changed) changed(item.id, menu->itemData(index).toInt());
            });
            return menu;
        }
        case PropertyItem::Kind::kAction: {
            auto* button = new QPushButton(QString::fromStdString(item.name), parent);
            QObject::connect(button, &QPushButton::clicked, button, [=] {
                if (changed) changed(item.id, 1);
            });
            return button;
        }
    }
    return nullptr;
}

QWidget* itemGrid(const std::vector<PropertyItem>& items, const PropertyChanged& changed) {
    auto* grid_box = new QWidget;
    auto* grid = new QGridLayout(grid_box);
    int row = 0;
    for (const PropertyItem& item : items) {
        QWidget* control = controlFor(item, changed, grid_box);
        if (!control) continue;
        control->setObjectName(QString::number(item.id));
        if (item.kind != PropertyItem::Kind::kAction)
            grid->addWidget(new QLabel(QString::fromStdString(item.name), grid_box), row, 0);
        grid->addWidget(control, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    return grid_box;
}

}  // namespace

QSize propertySheetSize(QSize content, int titleWidth, QSize available) {
    constexpr int kTitleAllowance = 140;  // the window manager's buttons and margins beside the title
    constexpr int kMinWidth = 320;
    const int width = std::max({content.width(), titleWidth + kTitleAllowance, kMinWidth});
    return QSize(std::min(width, available.width()), std::min(content.height(), available.height()));
}

QPoint propertySheetPosition(QPoint wanted, QSize size, const QRect& work) {
    const int x =
        std::clamp(wanted.x(), work.x(), std::max(work.x(), work.x() + work.width() - size.width()));
    const int y =
        std::clamp(wanted.y(), work.y(), std::max(work.y(), work.y() + work.height() - size.height()));
    return {x, y};
}

PropertySheet::PropertySheet() : state_(std::make_unique<State>()) {}

PropertySheet::~PropertySheet() {
    if (!state_->dialog) return;
    QObject::disconnect(state_->dialog, nullptr, nullptr, nullptr);
    delete state_->dialog.data();
}

std::unique_ptr<PropertySheet> PropertySheet::open(Window& owner, const std::string& caption,
                                                   const QPoint& topLeft,
                                                   const std::vector<PropertyItem>& items,
                                                   PropertyChanged changed, std::function<void()> closed,
                                                   const std::string& emptyText) {
    std::unique_ptr<PropertySheet> sheet(new PropertySheet);
    sheet->state_->changed = std::move(changed);
    sheet->state_->closed = std::move(closed);
    // A child of the owner's widget: above it (even when the owner stays on top) and gone with it.
    auto* dialog = new QDialog(owner.widget(), Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QString::fromStdString(caption));
    auto* layout = new QVBoxLayout(dialog);
    if (items.empty()) {
        layout->addWidget(new QLabel(QString::fromStdString(emptyText), dialog));
    } else {
        auto* scroll = new QScrollArea(dialog);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(itemGrid(items, sheet->state_->changed));
        const int rows = std::min(static_cast<int>(items.size()), kMaxVisibleRows);
        scroll->setMinimumSize(380, rows * kRowHeight);
        layout->addWidget(scroll);
    }
    State* state = sheet->state_.get();
    QObject::connect(dialog, &QDialog::finished, dialog, [state] {
        if (state->closed) state->closed();
    });
    sheet->state_->dialog = dialog;
    // Sized to its content and its whole title (the window manager would otherwise make it as
    // small as its layout allows and cut the title short), inside the work area.
    const QRect work = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->availableGeometry()
                           : QRect(0, 0, 1920, 1080);
    const int title =
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(dialog->windowTitle());
    const QSize size = propertySheetSize(dialog->sizeHint(), title, work.size());
    dialog->resize(size);
    dialog->setMinimumWidth(size.width());
    dialog->move(propertySheetPosition(topLeft, size, work));
    dialog->show();
    return sheet;
}

bool PropertySheet::isOpen() const {
    const QDialog* dialog = state_->dialog.data();
    return dialog != nullptr && dialog->isVisible();
}

QWidget* PropertySheet::dialog() const {
    return state_->dialog.data();
}

}  // namespace vexa::toolkit
