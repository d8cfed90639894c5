#include "app/applicationstyle.h"

namespace Tessary {

QPalette applicationPalette()
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, const QColor& c) { p.setBrush(QPalette::All, role, QBrush(c)); };
    const QColor ink(35, 38, 46);
    set(QPalette::Window, QColor(245, 246, 248));
    set(QPalette::WindowText, ink);
    set(QPalette::Base, Qt::white);
    set(QPalette::AlternateBase, QColor(240, 242, 245));
    set(QPalette::ToolTipBase, QColor(255, 255, 255));
    set(QPalette::ToolTipText, ink);
    set(QPalette::Text, ink);
    set(QPalette::Button, QColor(238, 240, 243));
    set(QPalette::ButtonText, ink);
    set(QPalette::BrightText, QColor(210, 60, 60));
    set(QPalette::Link, QColor(0, 171, 173));
    set(QPalette::Highlight, QColor(0, 171, 173));
    set(QPalette::HighlightedText, Qt::white);
    set(QPalette::Light, QColor(255, 255, 255));
    set(QPalette::Midlight, QColor(235, 237, 240));
    set(QPalette::Mid, QColor(200, 203, 208));
    set(QPalette::Dark, QColor(160, 164, 170));
    set(QPalette::Shadow, QColor(120, 124, 130));
    const QColor disabled(160, 164, 170);
    p.setBrush(QPalette::Disabled, QPalette::Text, QBrush(disabled));
    p.setBrush(QPalette::Disabled, QPalette::ButtonText, QBrush(disabled));
    p.setBrush(QPalette::Disabled, QPalette::WindowText, QBrush(disabled));
    return p;
}

QString applicationStyleSheet()
{
    // Accent #00abad, selection #a6d7d5, borders #c8cbd0 / #dcdee2, ink #23262e.
    return QStringLiteral(R"QSS(
QMainWindow, QDialog { background-color: #f5f6f8; }
QToolTip { background-color: #ffffff; color: #23262e; border: 1px solid #c8cbd0; padding: 4px 8px; border-radius: 4px; }
QMenuBar { background-color: #f5f6f8; border-bottom: 1px solid #dcdee2; padding: 2px 4px; }
QMenuBar::item { background: transparent; padding: 4px 10px; border-radius: 4px; }
QMenuBar::item:selected { background-color: #a6d7d5; color: #00abad; }
QMenu { background-color: #ffffff; border: 1px solid #c8cbd0; border-radius: 6px; padding: 4px; }
QMenu::item { padding: 5px 24px 5px 22px; border-radius: 4px; }
QMenu::item:selected { background-color: #a6d7d5; color: #00abad; }
QMenu::separator { height: 1px; background: #dcdee2; margin: 4px 8px; }
QPushButton { background-color: #eaecef; color: #23262e; border: 1px solid #c8cbd0; border-radius: 5px; padding: 5px 14px; min-height: 20px; }
QPushButton:hover { background-color: #dfe1e5; border: 1px solid #b0b4ba; }
QPushButton:pressed { background-color: #d0d3d8; }
QPushButton:disabled { background-color: #f0f1f3; color: #a0a4aa; border: 1px solid #dcdee2; }
QComboBox { background-color: #ffffff; border: 1px solid #c8cbd0; border-radius: 5px; padding: 3px 8px; min-height: 20px; }
QComboBox:hover { border: 1px solid #00abad; }
QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: top right; width: 20px; border-left: 1px solid #dcdee2; }
QComboBox::down-arrow { image: url(:/arrow-down.svg); width: 10px; height: 10px; }
QComboBox QAbstractItemView { background-color: #ffffff; border: 1px solid #c8cbd0; selection-background-color: #a6d7d5; selection-color: #00abad; outline: 0; }
QCheckBox { spacing: 6px; }
QCheckBox::indicator { width: 16px; height: 16px; border-radius: 3px; border: 1px solid #b0b4ba; background-color: #ffffff; }
QCheckBox::indicator:unchecked { background-color: #ffffff; }
QCheckBox::indicator:checked { background-color: #00abad; border: 1px solid #00abad; image: url(:/checkmark.svg); }
QCheckBox::indicator:hover { border: 1px solid #00abad; }
QSpinBox, QDoubleSpinBox { background-color: #ffffff; border: 1px solid #c8cbd0; border-radius: 5px; padding: 3px 22px 3px 6px; min-height: 20px; }
QSpinBox:hover, QDoubleSpinBox:hover { border: 1px solid #00abad; }
QSpinBox::up-button, QDoubleSpinBox::up-button { subcontrol-origin: border; subcontrol-position: top right; width: 20px; border-left: 1px solid #dcdee2; border-top-right-radius: 5px; }
QSpinBox::down-button, QDoubleSpinBox::down-button { subcontrol-origin: border; subcontrol-position: bottom right; width: 20px; border-left: 1px solid #dcdee2; border-bottom-right-radius: 5px; }
QSpinBox::up-arrow, QDoubleSpinBox::up-arrow { image: url(:/arrow-up.svg); width: 10px; height: 10px; }
QSpinBox::down-arrow, QDoubleSpinBox::down-arrow { image: url(:/arrow-down.svg); width: 10px; height: 10px; }
QGroupBox { font-weight: 600; border: 1px solid #dcdee2; border-radius: 6px; margin-top: 12px; padding: 8px 6px 6px 6px; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 12px; padding: 0 4px; color: #23262e; }
QDockWidget { font-weight: 600; titlebar-close-icon: none; }
QDockWidget::title { background-color: #eceef1; padding: 6px 10px; border-bottom: 1px solid #dcdee2; text-align: left; }
QTreeWidget, QListWidget { background-color: #ffffff; alternate-background-color: #f8f9fa; border: 1px solid #dcdee2; border-radius: 5px; font-weight: 400; }
QTreeWidget::item, QListWidget::item { padding: 3px 4px; }
QTreeWidget::item:selected, QListWidget::item:selected { background-color: #a6d7d5; color: #00abad; }
QHeaderView::section { background-color: #eceef1; font-weight: 600; padding: 4px 6px; border: none; border-right: 1px solid #dcdee2; border-bottom: 1px solid #dcdee2; }
QScrollBar:vertical { width: 10px; background: transparent; margin: 0; }
QScrollBar::handle:vertical { background: #c0c4ca; border-radius: 5px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background: #a0a4aa; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; border: none; background: none; }
QScrollBar:horizontal { height: 10px; background: transparent; margin: 0; }
QScrollBar::handle:horizontal { background: #c0c4ca; border-radius: 5px; min-width: 30px; }
QScrollBar::handle:horizontal:hover { background: #a0a4aa; }
QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0px; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QSplitter::handle { background-color: #dcdee2; }
QSplitter::handle:horizontal { width: 2px; }
QSplitter::handle:vertical { height: 2px; }
QTabWidget::pane { border: 1px solid #dcdee2; border-radius: 5px; top: -1px; background-color: #ffffff; }
QTabBar::tab { background-color: #eceef1; border: 1px solid #dcdee2; padding: 5px 12px; margin-right: 2px; border-top-left-radius: 5px; border-top-right-radius: 5px; }
QTabBar::tab:selected { background-color: #ffffff; border-bottom: 2px solid #00abad; }
QLineEdit { background-color: #ffffff; border: 1px solid #c8cbd0; border-radius: 5px; padding: 4px 6px; }
QLineEdit:hover, QLineEdit:focus { border: 1px solid #00abad; }
QProgressBar { border: 1px solid #dcdee2; border-radius: 5px; text-align: center; background-color: #eceef1; min-height: 16px; }
QProgressBar::chunk { background-color: #00abad; border-radius: 4px; }
)QSS");
}

} // namespace Tessary
