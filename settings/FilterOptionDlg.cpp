#include "settings/FilterOptionDlg.h"

#include "capture/FilterComposer.h"
#include "dialogs/DataExchange.h"
#include "dialogs/SpinButtonCtrl.h"
#include "dialogs/UserMessage.h"
#include "settings/SetObj.h"
#include "utils/ui/SelColor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {

enum {
    IDC_PROC_INCLUDE = 1008,
    IDC_PROC_EXCLUDE = 1020,
    IDC_INCLUDE_ROOT = 1021,
    IDC_INCLUDE_PATH = 1022,
    IDC_INCLUDE_LIST = 1023,
    IDC_INCLUDE_ADD = 1024,
    IDC_INCLUDE_REMOVE = 1025,
    IDC_EXCLUDE_ROOT = 1026,
    IDC_EXCLUDE_PATH = 1027,
    IDC_EXCLUDE_LIST = 1028,
    IDC_EXCLUDE_ADD = 1029,
    IDC_EXCLUDE_DEL = 1030,
    IDC_DEPTH = 1034,
    IDC_DEPTH_SPIN = 1035,
    IDC_DEFAULT = 1036,
};

constexpr int DEPTH_SPIN_MAX = 32767;

// One row of the Function Filter column: its check box, the member it is exchanged with and
// the driver switch it edits. The row number is also the colour slot (the operation code).
struct SFunctionRow {
    int m_nCheckId;
    int32_t CFilterOptionDlg::*m_pMember;
    int m_nSwitch;
};

constexpr SFunctionRow kRows[REG_OPERATION_COUNT] = {
    {1009, &CFilterOptionDlg::m_bRegOpenKey, 2},
    {1019, &CFilterOptionDlg::m_bRegCloseKey, 13},
    {1010, &CFilterOptionDlg::m_bRegQueryKey, 3},
    {1011, &CFilterOptionDlg::m_bRegQueryValue, 4},
    {1013, &CFilterOptionDlg::m_bEnumerateKey, 6},
    {1012, &CFilterOptionDlg::m_bEnumerateValueKey, 5},
    {1031, &CFilterOptionDlg::m_bRegCreateKeyOpen, 11},
    {1015, &CFilterOptionDlg::m_bRegFlushKey, 7},
    {1032, &CFilterOptionDlg::m_bRegLoadKey, 15},
    {1033, &CFilterOptionDlg::m_bRegUnloadKey, 16},
    {1017, &CFilterOptionDlg::m_bRegCreateKeyNew, 10},
    {1016, &CFilterOptionDlg::m_bRegSetValueKey, 9},
    {1014, &CFilterOptionDlg::m_bRegDeleteKey, 8},
    {1018, &CFilterOptionDlg::m_bRegDeleteValue, 12},
};

// Swatch IDs: rows 0 to 12 are numbered in a run, row 13 was added later.
int TextSwatchId(int nRow) {
    return nRow < 13 ? 1037 + nRow : 1063;
}
int BackSwatchId(int nRow) {
    return nRow < 13 ? 1050 + nRow : 1064;
}
int RowTop(int nRow) {
    return 22 + 14 * nRow;
}

// The root keys in the order the sorted drop-down lists show them, with the abbreviation an
// entry of that root starts with.
constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                      "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
constexpr const char* kRootAbbrevBySortedPosition[] = {"HKCR", "HKCC", "HKCU", "HKLM", "HKU"};
constexpr int DEFAULT_ROOT_POSITION = 2; // HKEY_CURRENT_USER

// Where a sorted list puts a new text: after every entry that sorts before it or equal to it,
// comparing without regard to case.
template <class TList> int SortedPosition(const TList& list, int nCount, const QString& str) {
    int nPos = 0;
    while (nPos < nCount && QString::compare(list(nPos), str, Qt::CaseInsensitive) <= 0)
        ++nPos;
    return nPos;
}

int AddSorted(QListWidget* pList, const QString& str) {
    const int nPos =
        SortedPosition([pList](int i) { return pList->item(i)->text(); }, pList->count(), str);
    pList->insertItem(nPos, str);
    return nPos;
}

void AddSorted(QComboBox* pCombo, const QString& str) {
    pCombo->insertItem(
        SortedPosition([pCombo](int i) { return pCombo->itemText(i); }, pCombo->count(), str), str);
}

QStringList Entries(const QListWidget* pList) {
    QStringList ar;
    for (int i = 0; i < pList->count(); ++i)
        ar << pList->item(i)->text();
    return ar;
}

int SelectedRow(const QListWidget* pList) {
    const QList<QListWidgetItem*> arSelected = pList->selectedItems();
    return arSelected.isEmpty() ? -1 : pList->row(arSelected.first());
}

void SelectRow(QListWidget* pList, int nRow) {
    pList->clearSelection();
    pList->setCurrentRow(nRow, QItemSelectionModel::ClearAndSelect);
}

// The stored list back as the user typed it: last entry first, each followed by ";".
QString JoinPatterns(const QStringList& arPatterns) {
    QString str;
    for (qsizetype i = arPatterns.size() - 1; i >= 0; --i)
        str += arPatterns[i] + QLatin1Char(';');
    return str;
}

} // namespace

CFilterOptionDlg::CFilterOptionDlg(QWidget* pParent)
    : CDialogEx(QStringLiteral("Options"), 406, 265, pParent) {
    CreateControls();
}

void CFilterOptionDlg::CreateControls() {
    AddGroupBox(QStringLiteral("Filter Options"), {7, 7, 392, 230});
    AddStatic(QStringLiteral("Process Include(s):"), {17, 22, 62, 8});
    AddEdit(IDC_PROC_INCLUDE, {83, 19, 143, 14});
    AddStatic(QStringLiteral("Process Exclude(s):"), {15, 38, 64, 8});
    AddEdit(IDC_PROC_EXCLUDE, {83, 36, 143, 14});
    AddStatic(QStringLiteral("Path Include(s):"), {15, 55, 52, 8});
    // A drop-down list is as tall as its closed box; its list opens below.
    m_cbIncludeRoot = AddControl(new QComboBox(this), IDC_INCLUDE_ROOT, {15, 66, 153, 14});
    auto* pAddInclude = AddButton(QStringLiteral("Add"), IDC_INCLUDE_ADD, {176, 65, 50, 14});
    AddEdit(IDC_INCLUDE_PATH, {15, 83, 153, 12});
    auto* pRemove = AddButton(QStringLiteral("Remove"), IDC_INCLUDE_REMOVE, {176, 82, 50, 14});
    m_lbIncludePath = AddControl(new QListWidget(this), IDC_INCLUDE_LIST, {15, 102, 209, 40});
    AddStatic(QStringLiteral("Path Exclude(s):"), {16, 146, 54, 8});
    m_cbExcludeRoot = AddControl(new QComboBox(this), IDC_EXCLUDE_ROOT, {15, 157, 153, 14});
    auto* pAddExclude = AddButton(QStringLiteral("Add"), IDC_EXCLUDE_ADD, {176, 156, 50, 14});
    AddEdit(IDC_EXCLUDE_PATH, {15, 173, 153, 12});
    auto* pDel = AddButton(QStringLiteral("Del"), IDC_EXCLUDE_DEL, {176, 172, 50, 14});
    m_lbExcludePath = AddControl(new QListWidget(this), IDC_EXCLUDE_LIST, {15, 192, 209, 40});
    AddStatic(QStringLiteral("Text Color"), {269, 10, 34, 8});
    AddStatic(QStringLiteral("BG Color"), {239, 150, 28, 8});
    AddStatic(QStringLiteral("Function Filter"), {312, 10, 46, 8});
    for (int nRow = 0; nRow < REG_OPERATION_COUNT; ++nRow) {
        const QString strName = QString::fromLatin1(g_RegOperationNames[nRow]);
        AddCheckBox(strName, kRows[nRow].m_nCheckId, {310, RowTop(nRow) + (nRow >= 6), 85, 10});
    }
    for (int nRow = 0; nRow < REG_OPERATION_COUNT; ++nRow) {
        m_selText[nRow] =
            AddControl(new CSelColor(this), TextSwatchId(nRow), {273, RowTop(nRow), 25, 11});
    }
    for (int nRow = 0; nRow < REG_OPERATION_COUNT; ++nRow) {
        m_selBack[nRow] =
            AddControl(new CSelColor(this), BackSwatchId(nRow), {241, RowTop(nRow), 25, 11});
        // Background colours show only on rows that changed the registry; the operations of
        // rows 0 to 9 never do, so their swatches stay hidden but keep their colours.
        m_selBack[nRow]->setVisible(nRow >= 10);
    }
    for (CSelColor* pSwatch : m_selText)
        connect(pSwatch, &CSelColor::SelColorChanged, this, &CFilterOptionDlg::OnSelColorChanged);
    for (CSelColor* pSwatch : m_selBack)
        connect(pSwatch, &CSelColor::SelColorChanged, this, &CFilterOptionDlg::OnSelColorChanged);
    AddStatic(QStringLiteral("Note:BG Color(Background Color) only acts when the Registry is "
                             "modified."),
              {240, 217, 152, 16})
        ->setWordWrap(true);
    AddStatic(QStringLiteral("History Depth"), {7, 243, 45, 8});
    auto* pDepth = AddEdit(IDC_DEPTH, {61, 241, 54, 14});
    pDepth->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pDepth));
    m_spinDepth = AddControl(new CSpinButtonCtrl(this), IDC_DEPTH_SPIN, {117, 241, 11, 14});
    m_spinDepth->SetBuddy(pDepth);
    auto* pDefault = AddButton(QStringLiteral("Default"), IDC_DEFAULT, {235, 241, 50, 14});
    AddButton(QStringLiteral("Apply"), IDOK, {291, 241, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {349, 241, 50, 14});

    connect(pAddInclude, &QPushButton::clicked, this, &CFilterOptionDlg::OnAddInclude);
    connect(pAddExclude, &QPushButton::clicked, this, &CFilterOptionDlg::OnAddExclude);
    connect(pRemove, &QPushButton::clicked, this, &CFilterOptionDlg::OnRemoveInclude);
    connect(pDel, &QPushButton::clicked, this, &CFilterOptionDlg::OnDelExclude);
    connect(pDefault, &QPushButton::clicked, this, &CFilterOptionDlg::OnDefault);
}

void CFilterOptionDlg::DoDataExchange(CDataExchange& dx) {
    dx.Text(IDC_PROC_INCLUDE, m_strProcInclude);
    dx.Text(IDC_PROC_EXCLUDE, m_strProcExclude);
    dx.Text(IDC_INCLUDE_PATH, m_strIncludePath);
    dx.Text(IDC_EXCLUDE_PATH, m_strExcludePath);
    dx.Check(1009, m_bRegOpenKey);
    dx.Check(1019, m_bRegCloseKey);
    dx.Check(1010, m_bRegQueryKey);
    dx.Check(1011, m_bRegQueryValue);
    dx.Check(1013, m_bEnumerateKey);
    dx.Check(1012, m_bEnumerateValueKey);
    dx.Check(1017, m_bRegCreateKeyNew);
    dx.Check(1031, m_bRegCreateKeyOpen);
    dx.Check(1016, m_bRegSetValueKey);
    dx.Check(1015, m_bRegFlushKey);
    dx.Check(1014, m_bRegDeleteKey);
    dx.Check(1018, m_bRegDeleteValue);
    dx.Check(1032, m_bRegLoadKey);
    dx.Check(1033, m_bRegUnloadKey);
    dx.Text(IDC_DEPTH, m_nDepth);
}

bool CFilterOptionDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    m_strProcInclude = JoinPatterns(g_SetObj.m_arProcInclude);
    m_strProcExclude = JoinPatterns(g_SetObj.m_arProcExclude);
    m_strIncludePath.clear();
    m_strExcludePath.clear();
    m_lbIncludePath->addItems(g_SetObj.m_arPathInclude);
    for (const QString& strEntry : g_SetObj.m_arPathExclude)
        AddSorted(m_lbExcludePath, strEntry);
    for (const SFunctionRow& row : kRows)
        this->*row.m_pMember = g_SetObj.m_Filter.bSwitch[row.m_nSwitch];
    m_nDepth = g_SetObj.LoadHistoryDepth();
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        m_selText[i]->m_nSelMode = CSelColor::SEL_TEXT;
        m_selText[i]->m_crText = g_SetObj.m_clrText[i];
        m_selBack[i]->m_nSelMode = CSelColor::SEL_BACK;
        m_selBack[i]->m_crBack = g_SetObj.m_clrBack[i];
        m_selBack[i]->m_crText = g_SetObj.m_clrText[i];
    }
    m_spinDepth->SetRange(0, DEPTH_SPIN_MAX);
    m_spinDepth->SetPos(int16_t(m_nDepth & 0xFFFF));
    UpdateData(false);
    for (QComboBox* pCombo : {m_cbIncludeRoot, m_cbExcludeRoot}) {
        for (const char* pName : kRootNames)
            AddSorted(pCombo, QString::fromLatin1(pName));
        pCombo->setCurrentIndex(DEFAULT_ROOT_POSITION);
    }
    return true;
}

void CFilterOptionDlg::SplitPatterns(const QString& strText, QStringList& arPatterns) {
    const QChar SEPARATOR = QLatin1Char(';');
    QString str = strText.trimmed();
    for (qsizetype nLast = str.lastIndexOf(SEPARATOR); nLast >= 0;
         nLast = str.lastIndexOf(SEPARATOR)) {
        const QString strPiece = str.mid(nLast + 1).trimmed();
        if (!strPiece.isEmpty())
            arPatterns.append(strPiece);
        str.truncate(nLast);
    }
    // The first piece is taken as it stands, white space before its ";" included.
    if (!str.isEmpty())
        arPatterns.append(str);
}

void CFilterOptionDlg::OnOK() {
    if (!UpdateData(true))
        return;
    // The lists as they would be stored, checked against the driver's filter before anything
    // is applied: lists that do not fit would lose entries at every Start Capture.
    CSetObj lists;
    lists.m_arProcInclude.clear();
    SplitPatterns(m_strProcInclude, lists.m_arProcInclude);
    if (lists.m_arProcInclude.isEmpty())
        lists.m_arProcInclude.append(QStringLiteral("*"));
    SplitPatterns(m_strProcExclude, lists.m_arProcExclude);
    lists.m_arPathInclude = Entries(m_lbIncludePath);
    if (lists.m_arPathInclude.isEmpty())
        lists.m_arPathInclude.append(QStringLiteral("*"));
    lists.m_arPathExclude = Entries(m_lbExcludePath);
    lists.m_nCaptureScope = SCOPE_ALL;
    const QString strOverflow = FilterOverflowText(ComposeFilterTexts(lists));
    if (!strOverflow.isEmpty()) {
        ShowMessage(this,
                    QStringLiteral("These filter lists do not fit the driver's filter, which "
                                   "holds %1 bytes of entries in each direction: %2. Remove or "
                                   "shorten entries, then apply again.")
                        .arg(FILTER_TEXT_CAPACITY)
                        .arg(strOverflow),
                    MSG_WARNING);
        return;
    }
    g_SetObj.m_arProcInclude = lists.m_arProcInclude;
    g_SetObj.m_arProcExclude = lists.m_arProcExclude;
    g_SetObj.m_arPathInclude = lists.m_arPathInclude;
    g_SetObj.m_arPathExclude = lists.m_arPathExclude;
    for (const SFunctionRow& row : kRows)
        g_SetObj.m_Filter.bSwitch[row.m_nSwitch] = this->*row.m_pMember ? 1 : 0;
    g_SetObj.StoreHistoryDepth(m_nDepth);
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        g_SetObj.m_clrText[i] = m_selText[i]->m_crText;
        g_SetObj.m_clrBack[i] = m_selBack[i]->m_crBack;
    }
    // A pending attach or launch choice gives way to the filters just applied.
    g_SetObj.StoreCaptureScope(SCOPE_ALL);
    CDialogEx::OnOK();
}

void CFilterOptionDlg::OnAddInclude() {
    UpdateData(true); // a bad depth is reported; the entry does not depend on it
    AddPathEntry(m_cbIncludeRoot, m_strIncludePath, m_lbIncludePath);
}

void CFilterOptionDlg::OnAddExclude() {
    UpdateData(true);
    AddPathEntry(m_cbExcludeRoot, m_strExcludePath, m_lbExcludePath);
}

void CFilterOptionDlg::AddPathEntry(QComboBox* pRoot, const QString& strPath, QListWidget* pList) {
    const int nPosition = pRoot->currentIndex();
    if (nPosition < 0 || nPosition >= int(std::size(kRootAbbrevBySortedPosition)))
        return;
    QString strEntry = QString::fromLatin1(kRootAbbrevBySortedPosition[nPosition]);
    if (!strPath.isEmpty())
        strEntry += QLatin1Char('\\') + strPath;
    // An entry that begins with the new one, in any case, already covers it: show that one.
    for (int i = 0; i < pList->count(); ++i) {
        if (pList->item(i)->text().startsWith(strEntry, Qt::CaseInsensitive)) {
            SelectRow(pList, i);
            return;
        }
    }
    if (pList == m_lbExcludePath)
        AddSorted(pList, strEntry);
    else
        pList->addItem(strEntry);
    SelectRow(pList, pList->count() - 1);
}

void CFilterOptionDlg::OnRemoveInclude() {
    UpdateData(true);
    RemoveSelectedEntry(m_lbIncludePath);
}

void CFilterOptionDlg::OnDelExclude() {
    UpdateData(true);
    RemoveSelectedEntry(m_lbExcludePath);
}

void CFilterOptionDlg::RemoveSelectedEntry(QListWidget* pList) {
    const int nPos = SelectedRow(pList);
    if (nPos < 0)
        return;
    delete pList->takeItem(nPos);
    pList->clearSelection();
    const int nCount = pList->count();
    if (nCount > 0)
        SelectRow(pList, nPos + 1 < nCount ? nPos : (nPos > 0 ? nPos - 1 : 0));
}

void CFilterOptionDlg::OnDefault() {
    m_strProcInclude = QStringLiteral("*");
    m_strProcExclude.clear();
    m_strIncludePath.clear();
    m_strExcludePath.clear();
    m_lbIncludePath->clear();
    m_lbIncludePath->addItem(QStringLiteral("*"));
    m_lbExcludePath->clear();
    for (const SFunctionRow& row : kRows)
        this->*row.m_pMember = 0;
    m_bRegCreateKeyNew = m_bRegSetValueKey = m_bRegDeleteKey = m_bRegDeleteValue = 1;
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        m_selText[i]->m_crText = RGB(0, 0, 0);
        m_selBack[i]->m_crBack = g_SetObj.m_clrBackground;
        m_selBack[i]->m_crText = RGB(0, 0, 0);
    }
    m_selText[OP_SET_VALUE]->m_crText = RGB(255, 0, 0);
    m_selBack[OP_SET_VALUE]->m_crText = RGB(255, 0, 0);
    m_selBack[OP_SET_VALUE]->m_crBack = RGB(122, 122, 0);
    m_nDepth = 0;
    UpdateData(false);
    update();
}

void CFilterOptionDlg::OnSelColorChanged() {
    // Each background swatch previews its row: the row's text colour on its background.
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        m_selBack[i]->m_crText = m_selText[i]->m_crText;
        m_selText[i]->update();
        m_selBack[i]->update();
    }
}
