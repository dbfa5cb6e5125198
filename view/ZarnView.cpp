#include "view/ZarnView.h"

#include "components/CompObj.h"
#include "components/ObjectLookup.h"
#include "components/ZarnDoc.h"
#include "res/ResourceIds.h"
#include "res/StringTable.h"
#include "view/DesignControlEntry.h"

#include <QHeaderView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTableWidget>

namespace zarn {

namespace {

// Column widths in pixels on a 96 dpi screen.
constexpr int kColumnWidths[] = {250, 125, 175};

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

} // namespace

CZarnView::CZarnView(CZarnDoc& document, QWidget* parent) : QWidget(parent), m_document(document) {
    setObjectName(QStringLiteral("view"));
}

CZarnView::~CZarnView() {
    // The control's code lives in its library, which is released with the members, before the base deletes the
    // remaining children.
    delete m_wndDesign;
}

void CZarnView::FillComponentList() {
    if (m_listComponents == nullptr) {
        m_listComponents = new QTableWidget(0, 3, this);
        m_listComponents->setObjectName(QStringLiteral("m_listComponents"));
        m_listComponents->setProperty(kControlIdProperty, IDC_COMPONENT_LIST);
        m_listComponents->setGeometry(rect());
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
        m_listComponents->setHorizontalHeaderLabels({FromLocal(LoadString(IDS_COLUMN_COMPONENT)),
                                                     FromLocal(LoadString(IDS_COLUMN_VERSION)),
                                                     FromLocal(LoadString(IDS_COLUMN_STATUS))});
    } else {
        m_listComponents->setRowCount(0);
    }

    int row = 0;
    for (const auto& record : m_document.m_compList) {
        m_listComponents->insertRow(row);
        m_listComponents->setItem(row, 0, new QTableWidgetItem(FromLocal(record->m_desc)));
        m_listComponents->setItem(row, 1, new QTableWidgetItem(FromLocal(record->GetVersionString())));
        m_listComponents->setItem(row, 2, new QTableWidgetItem(FromLocal(record->m_status)));
        ++row;
    }

    // The widths are given for a 96 dpi screen and grow with the screen's resolution.
    const double scale = logicalDpiX() / 96.0;
    for (int column = 0; column < 3; ++column)
        m_listComponents->setColumnWidth(column, qRound(kColumnWidths[column] * scale));

    m_listComponents->setVisible(true);
    m_listComponents->setEnabled(true);
}

void CZarnView::ShowDesignControl() {
    if (m_listComponents != nullptr) {
        m_listComponents->setEnabled(false);
        m_listComponents->setVisible(false);
    }
    m_document.m_listMode = 0;
    if (m_wndDesign == nullptr && !CreateDesignControl())
        return;
    m_wndDesign->setEnabled(true);
    m_wndDesign->setVisible(true);
    m_wndDesign->raise();
    m_wndDesign->setFocus(Qt::OtherFocusReason);
}

bool CZarnView::CreateDesignControl() {
    CObjectLookup lookup;
    const std::string serverPath = lookup.ReadServerPath(kDesignControlClassId);
    if (serverPath.empty() || m_designLibrary.Load(serverPath) != 0)
        return false;
    const auto factory =
        reinterpret_cast<DesignControlFactory>(m_designLibrary.FindFunction(kDesignControlFactoryName));
    QWidget* const control = factory != nullptr ? factory(this) : nullptr;
    if (control == nullptr)
        return false;
    if (control->parentWidget() != this)
        control->setParent(this);
    control->setObjectName(QStringLiteral("cad design"));
    control->setWindowTitle(QStringLiteral("cad design"));
    control->setProperty(kControlIdProperty, IDC_DESIGN_CONTROL);
    control->setGeometry(rect());
    m_wndDesign = control;
    return true;
}

void CZarnView::HideDesignControl() {
    if (m_wndDesign != nullptr) {
        m_wndDesign->setEnabled(false);
        m_wndDesign->setVisible(false);
    }
}

void CZarnView::OnUpdate() {
    if (m_document.m_listMode == 1)
        FillComponentList();
    update();
}

void CZarnView::OnDesign() {
    ShowDesignControl();
}

void CZarnView::OnDraw(QPainter&) {}

void CZarnView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnDraw(painter);
}

void CZarnView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OnSize();
}

void CZarnView::OnSize() {
    if (m_wndDesign != nullptr) {
        m_wndDesign->setGeometry(rect());
        m_wndDesign->update();
    }
    if (m_listComponents != nullptr) {
        m_listComponents->setGeometry(rect());
        m_listComponents->update();
    }
}

void CZarnView::OnFilePrint() {
    QPrinter printer;
    if (!OnPreparePrinting(printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    OnBeginPrinting(painter, printer);
    OnDraw(painter);
    OnEndPrinting(painter, printer);
    painter.end();
}

bool CZarnView::OnPreparePrinting(QPrinter& printer) {
    QPrintDialog dialog(&printer, this);
    return dialog.exec() == QDialog::Accepted;
}

void CZarnView::OnBeginPrinting(QPainter&, QPrinter&) {}

void CZarnView::OnEndPrinting(QPainter&, QPrinter&) {}

} // namespace zarn
