#include "view/qt/QtViewWindow.h"

#include "res/ResourceIds.h"
#include "view/DesignControlEntry.h"

#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QTableWidget>

namespace zarn {

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

} // namespace

QtViewWindow::QtViewWindow(CZarnDoc& document, QWidget* parent)
    : QWidget(parent), m_view(std::make_unique<CZarnView>(document, *this)) {
    setObjectName(QStringLiteral("view"));
}

QtViewWindow::~QtViewWindow() {
    // The view destroys the design control while the window and the control's library are both still there.
    m_view.reset();
}

bool QtViewWindow::CreateList(const std::vector<std::string>& headings) {
    m_listComponents = new QTableWidget(0, static_cast<int>(headings.size()), this);
    m_listComponents->setObjectName(QStringLiteral("m_listComponents"));
    m_listComponents->setProperty(kControlIdProperty, IDC_COMPONENT_LIST);
    m_listComponents->setVisible(false);
    m_listComponents->setShowGrid(true);
    m_listComponents->setFrameShape(QFrame::Box);
    m_listComponents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listComponents->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listComponents->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listComponents->setWordWrap(false);
    m_listComponents->verticalHeader()->setVisible(false);
    // Rows as tight as a list's: the text and a little room, not the table's roomier default.
    m_listComponents->verticalHeader()->setDefaultSectionSize(m_listComponents->fontMetrics().height() + 6);
    m_listComponents->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_listComponents->horizontalHeader()->setHighlightSections(false);
    QStringList labels;
    for (const std::string& heading : headings)
        labels << FromLocal(heading);
    m_listComponents->setHorizontalHeaderLabels(labels);
    return true;
}

void QtViewWindow::SetListRows(const std::vector<std::vector<std::string>>& rows) {
    m_listComponents->setRowCount(0);
    int row = 0;
    for (const auto& texts : rows) {
        m_listComponents->insertRow(row);
        for (int column = 0; column < static_cast<int>(texts.size()); ++column)
            m_listComponents->setItem(row, column, new QTableWidgetItem(FromLocal(texts[column])));
        ++row;
    }
}

void QtViewWindow::SetListColumnWidths(const std::vector<int>& widths) {
    for (int column = 0; column < static_cast<int>(widths.size()); ++column)
        m_listComponents->setColumnWidth(column, widths[column]);
}

void QtViewWindow::ShowList(bool shown) {
    m_listComponents->setVisible(shown);
}

void QtViewWindow::EnableList(bool enabled) {
    m_listComponents->setEnabled(enabled);
}

void QtViewWindow::PlaceList(int width, int height) {
    m_listComponents->setGeometry(0, 0, width, height);
    m_listComponents->update();
}

bool QtViewWindow::CreateControl(const std::string&, const std::string& serverPath) {
    // Without COM the class identifier names nothing here: the registered library's factory export makes the
    // control. A library that cannot be used is released at once and loaded afresh by the next attempt.
    if (m_designLibrary.Load(serverPath) != 0)
        return false;
    const platform::Library::Function factory = m_designLibrary.FindFunction(kDesignControlFactoryName);
    QWidget* const control = factory != nullptr ? reinterpret_cast<DesignControlFactory>(factory)(this) : nullptr;
    if (control == nullptr) {
        m_designLibrary = platform::Library();
        return false;
    }
    if (control->parentWidget() != this)
        control->setParent(this);
    control->setObjectName(QStringLiteral("cad design"));
    control->setWindowTitle(QStringLiteral("cad design"));
    control->setProperty(kControlIdProperty, IDC_DESIGN_CONTROL);
    m_wndDesign = control;
    return true;
}

void QtViewWindow::DestroyControl() {
    delete m_wndDesign;
    m_wndDesign = nullptr;
}

void QtViewWindow::ShowControl(bool shown) {
    m_wndDesign->setVisible(shown);
}

void QtViewWindow::EnableControl(bool enabled) {
    m_wndDesign->setEnabled(enabled);
}

void QtViewWindow::FocusControl() {
    m_wndDesign->raise();
    m_wndDesign->setFocus(Qt::OtherFocusReason);
}

void QtViewWindow::PlaceControl(int width, int height) {
    m_wndDesign->setGeometry(0, 0, width, height);
    m_wndDesign->update();
}

int QtViewWindow::LogicalDpi() const {
    return logicalDpiX();
}

void QtViewWindow::Invalidate() {
    update();
}

void QtViewWindow::paintEvent(QPaintEvent*) {
    m_view->OnDraw();
}

void QtViewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_view->OnSize(width(), height());
}

bool QtViewWindow::ChoosePrinter() {
    m_printer = std::make_unique<QPrinter>();
    return RunPrintDialog(*m_printer);
}

bool QtViewWindow::RunPrintDialog(QPrinter& printer) {
    QPrintDialog dialog(&printer, this);
    return dialog.exec() == QDialog::Accepted;
}

bool QtViewWindow::StartPrintJob() {
    return m_printer != nullptr && m_printPainter.begin(m_printer.get());
}

void QtViewWindow::EndPrintJob() {
    m_printPainter.end();
    m_printer.reset();
}

} // namespace zarn
