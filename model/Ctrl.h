// CCtrl: the client-side record of one remote control. It holds the control's identity, kind,
// flags and value, its kind's definition data, its layout and pointers to the widgets that show
// it. It is initialised and created once from the link's table (CtrlArray.h), changed by device
// values and by the user, and sends the user's values through the link. The widgets belong to
// the panel view, which the record reaches through ICtrlHost; the record never touches them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "Calendar.h"
#include "CtrlHost.h"
#include "CtrlKinds.h"
#include "Link.h"
#include "MatrixAccess.h"

class QBrush;
class QCheckBox;
class QComboBox;
class QDate;
class QDateEdit;
class QDialog;
class QFont;
class QImage;
class QLabel;
class QLineEdit;
class QListWidget;
class QPixmap;
class QPushButton;
class QSlider;
class QTableView;
class QTime;
class QTimeEdit;
class QWidget;

// Check points of the boxes the record raises.
enum CtrlCheckPoint : long {
    CP_CREATE_AGAIN = 612,      // a creation operation on a record that already has a kind
    CP_COLUMN_NAMES = 945,      // Matrix column names of 65536 characters or more
    CP_ROW_LABEL_BYTES = 962,   // Matrix row-label buffer of 0x100000 bytes or more
    CP_CELL_BYTES = 965,        // Matrix cell buffer of 0x100000 bytes or more
    CP_BLOB_CAPACITY = 1167,    // Blob capacity of 0x100000 bytes or more
    CP_CONTROL_TEXT = 3380,     // ControlText of an unknown kind
    CP_VALUE_MATRIX = 3417,     // ShowValue on a Matrix
    CP_VALUE_KIND = 3466,       // ShowValue on an unknown kind
    CP_MATRIX_KIND = 3505,      // SetMatrixData on another kind
    CP_USER_ACT_KIND = 3600,    // a user act the kind does not have
    CP_VIEW_MESSAGE_BOX = 1238, // build: Message box value over 0xFFFF bytes ("Talvex22View")
    CP_VIEW_BLOB = 1268,        // build: Blob value over 0xFFFFF bytes ("Talvex22View")
    CP_VIEW_KIND = 1302,        // build: device kind outside 1..14 ("Talvex22View")
};

// Size limits checked before allocating.
inline constexpr size_t CTRL_MAX_CHARS = 65536;    // column names, terminators included
inline constexpr size_t CTRL_MAX_BYTES = 0x100000; // matrix and blob buffers
inline constexpr uint32_t CTRL_DEFAULT_COLOUR = 0xC0C0C0;

// Definition data of a Number.
struct NumberDefinition {
    int32_t max = 0;
    int32_t min = 0;
    uint8_t decimals = 0;
    int8_t exponent = 0;
    std::optional<QString> format; // none when the device sent no template
};

// Definition data of a Matrix. Column names: `cols` 16-bit texts, each ended by a zero character.
struct MatrixDefinition {
    int32_t maxRows = 0;
    int32_t cols = 0;
    QString rowLabelFormat;
    QString cellFormat;
    QString rowLabelHeading;
    std::u16string columnNames;
    uint8_t rowLabelDecimals = 0;
    int8_t rowLabelExponent = 0;
    uint8_t cellDecimals = 0;
    int8_t cellExponent = 0;
    uint32_t cellBytes = 0;     // S
    uint32_t rowLabelBytes = 0; // R as the device gave it (8-bit text labels arrive widened)
};

// A matrix as plain table data: the headings and, per row in use (oldest first), the texts of
// the row-label column (when there are row labels) and of every cell column.
struct MatrixTable {
    bool hasRowLabels = false;
    QStringList headings;
    std::vector<QStringList> rows;
};

// A value as a value log writes it: the text the panel shows, and the raw value.
struct LoggedValue {
    QString shown;
    QString raw;
};

class CCtrl {
public:
    CCtrl();
    // Hands the widgets to the host for deletion; the buffers go with the record.
    ~CCtrl();
    CCtrl(const CCtrl&) = delete;
    CCtrl& operator=(const CCtrl&) = delete;

    // ---- Construction and kinds (Ctrl.cpp)

    // Common initialisation from the link's summary; `host` becomes m_pParent (may be null).
    void Init(const LinkSummary& summary, ICtrlHost* host);

    int StyleCount() const;
    // "" for an unknown kind; an index past a kind's last style names the last one.
    QString StyleName(int style) const;

    int GetFontSize() const { return m_nFontSize; }
    int GetTitleFontSize() const { return m_nTitleFontSize; }
    bool GetFontBold() const { return m_bFontBold != 0; }
    bool GetTitleBold() const { return m_bTitleBold != 0; }
    // Stores the value font (a Message box only stores it). A Section, or a Latch in style 0, is
    // bold exactly while it is on, whatever `bold` says.
    void SetFontSize(int size, bool bold);
    void SetTitleFont(int size, bool bold);
    // Re-applies the "bold while on" rule after a value change.
    void ApplyValueFont();

    bool IsEditable() const { return (m_dwFlags & CTRLF_EDITABLE) != 0; }
    // Number: the slider's range, 0..100 when m_nMin is not below m_nMax.
    std::pair<int, int> SliderRange() const;
    // Number: the value within m_nMin / m_nMax as far as the clamp flags ask.
    int32_t Clamped(int32_t value) const;

    // ---- Creation, one per kind, after Init (CtrlCreate.cpp)

    void CreateText(uint32_t maxLength, const QString& text);
    void CreateButton();
    void CreateLatch(uint32_t group, uint8_t state);
    void CreateSection(uint8_t state);
    void CreateDateTime(const QString& pattern, const uint8_t value[8]);
    void CreateNumber(const NumberDefinition& definition, int32_t value);
    void CreateMatrix(const MatrixDefinition& definition, const LinkMatrixData& data);
    void CreatePassword(uint8_t state);
    // `itemTexts`: the item texts, each ended by a zero character.
    void CreateList(int32_t items, const std::u16string& itemTexts, int32_t selection);
    void CreateMessageBox(const QString& text);
    void CreateBlob(uint32_t capacity, const uint8_t* data, uint32_t length);
    void CreateFile();
    void CreateUnsupported();
    void CreateImage(const uint8_t* data, uint32_t length);

    // ---- Value texts (CtrlText.cpp)

    // Number: the shown text with a minimum width, and the edit box's text.
    QString NumberText(int width) const;
    QString NumberEditText() const;
    // Number: the minimum width from the layout store (0 when not stored).
    int NumberWidth() const;
    DateTimeRecord DateTimeValue() const { return DateTimeRecord::FromBytes(m_DateTime, 8); }
    // Date/time: the value in m_strFormat.
    QString DateTimeText() const;
    // Abbreviated day names, Sunday first, for the weekday list.
    static QStringList WeekdayNames();
    // The text lists of controls show; none when only a widget knows it (an editable Text that
    // is not masked, an editable Number in style 0, an editable Date/time).
    std::optional<QString> ControlText() const;
    // Text: room for what the device accepts, its buffer less the terminator, in characters.
    int TextLimit() const;
    // The value for a value log; none for kinds without one (File, Image, unknown kinds). A
    // masked Text never gives its value away.
    std::optional<LoggedValue> LogValue() const;

    // ---- Matrix (CtrlMatrix.cpp); every read is bounds-checked

    MatrixView View() const;
    bool HasRowLabels() const;
    int RowsInUse() const;
    int RingIndex(int position) const; // buffer row of a position, -1 outside the rows in use
    QString RowLabelText(int position) const;
    QString CellText(int position, int column) const;
    double RowLabelValue(int position) const;
    double CellValue(int position, int column) const;
    std::optional<DateTimeRecord> RowLabelDateTime(int position) const;
    QString AxisLabelText(double x) const;
    QString AxisValueText(double x) const;
    QString DateAxisText(const DateTimeRecord& record) const;
    QString ColumnName(int column) const;
    // For a pass over every column or row, in one walk of the buffer each (the single lookups
    // above walk the texts from the start): the names of the columns (at most 65536), and the
    // row labels of the first `count` rows in use.
    QStringList ColumnNames() const;
    QStringList RowLabelTexts(int count) const;
    // The table's headings and texts. At most 65536 columns, and at most 0x100000 cells in all
    // (a real matrix never has more), so absurd dimensions cannot exhaust memory.
    MatrixTable TableData() const;
    // The row at `position` for a value log: the row label (when there is one) and the cells (at
    // most 65536), as shown and as plain numbers, joined by "; ".
    LoggedValue LogRow(int position) const;

    // Expires when the record is destroyed: windows that may outlive it (the matrix dialog, table
    // models) check it before they read the record.
    std::weak_ptr<const void> Lifetime() const { return m_lifetime; }

    // ---- Device updates (CtrlUpdate.cpp); the view calls them holding the link lock

    void ShowValue(const uint8_t* bytes, uint32_t length);
    void SetMatrixData(const LinkMatrixData& data);
    void SetMatrixData(uint32_t rows, const uint8_t* cells, size_t cellBytes,
                       const uint8_t* rowLabels, size_t rowLabelBytes);
    void SetFlagsAndColour(uint32_t flags, uint32_t colour);
    // Message box: starts the box through the host unless flag 0x1 says it was started, then
    // sets the flag. Call it without holding the link lock.
    void ShowMessageBox();

    // ---- User acts, each ending in LinkSetValue and LinkSendChanges (CtrlSend.cpp). They run
    // on the user-interface thread for the widgets' notifications, never inside the view's
    // update passes. An act the kind does not have raises box 3600 and changes nothing.

    void PressButton();
    void ClickLatch();
    void PressMomentary();
    void ReleaseMomentary();
    // The record's share of a radio group release: off, unless the latch is momentary.
    void ReleaseFromGroup(uint32_t group);
    void ToggleSection();
    // Text: the edit box's change notification with its new text. A change the record caused
    // itself (ShowValue) is swallowed; in style 0 any other change is sent.
    void TextEdited(const QString& text);
    // Text: sends the text ("OK" of "Text with OK").
    void SendText(const QString& text);
    // Number, "OK": the typed text, a number in the user's locale or with a decimal point,
    // scaled by 10^-exponent. False, and nothing sent, when the text is not a finite number.
    bool EnterNumber(const QString& typed);
    // Number: the raw value a typed text stands for, before clamping; none when the text is not
    // a finite number.
    std::optional<int32_t> NumberFromText(const QString& typed) const;
    // Number, spin buttons: +1 or -1.
    void StepNumber(bool plus);
    void SlideNumber(int position);
    // Date/time pickers changed: takes the parts the flags make editable, the day always (within
    // the month's days), and shows the pickers the value sent.
    void ChangeDateTime(const QDate& date, const QTime& time);
    // Date/time weekday list; an index outside 0..6 is no choice and sends nothing.
    void SelectWeekday(int index);
    // List: the new selection, -1 for none.
    void SelectListItem(int index);
    void RequestFile();
    // File: the requested file has arrived.
    void FileDelivered();
    int LogIn(const QString& password);
    int LogOut();
    int ChangePassword(const QString& oldPassword, const QString& newPassword);
    // Message box: sends the answer byte at once.
    int SendAnswer(uint8_t answer);

    // ---- The record

    QDialog* m_pMatrixDlg = nullptr;
    int m_nListRows = 0;
    int m_nTextEcho = 0;
    int m_nStyle = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFontSize = 20;
    uint8_t m_bFontBold = 0;
    int m_nTitleFontSize = 12;
    uint8_t m_bTitleBold = 1;
    uint8_t m_bShowTitle = 0;
    uint8_t m_bBorder = 0;
    int m_nX = 0;
    int m_nY = 0;
    int m_nPage = 0;
    int m_nPage2 = 0;
    int m_nWidth2 = 0;
    int m_nHeight2 = 0;
    int m_nX2 = 0;
    int m_nY2 = 0;
    std::array<int, 4> m_rcCache{-1, -1, -1, -1}; // x, y, width, height
    uint32_t m_dwFlags = 0;
    int m_nType = TYPE_UNSUPPORTED;
    int m_nWndId = 0;
    uint32_t m_nId = 0;
    uint8_t m_bValue = 0;
    int32_t m_nValue = 0;
    int32_t m_nMax = 0;
    int32_t m_nMin = 0;
    int8_t m_nExponent = 0;
    uint8_t m_nDecimals = 0;
    int8_t m_nRowLabelExponent = 0;
    uint8_t m_nRowLabelDecimals = 0;
    int8_t m_nCellExponent = 0;
    uint8_t m_nCellDecimals = 0;
    std::vector<uint8_t> m_pRowLabels;
    std::vector<uint8_t> m_pCells; // column-major
    int32_t m_nMaxRows = 0;
    int32_t m_nRows = 0; // -k: the ring is full, its oldest row is buffer row k
    int32_t m_nCols = 0;
    uint32_t m_nCellBytes = 0;
    uint32_t m_nRowLabelBytes = 0;
    QString m_strRowLabelFormat;
    QString m_strCellFormat;
    QString m_strRowLabelHeading;
    std::vector<char16_t> m_pColumnNames; // m_nCols texts, each ended by a zero character
    uint32_t m_crColour = CTRL_DEFAULT_COLOUR;
    QBrush* m_hBrush = nullptr;
    QDialog* m_pPasswordDlg = nullptr;
    int32_t m_nItems = 0;
    int32_t m_nSelection = 0;
    QStringList m_strItems; // List: the item texts, m_nItems of them
    int m_nDropHeight = 117;
    uint32_t m_nMaxLength = 0;
    std::vector<uint8_t> m_pData;
    uint32_t m_nDataLen = 0;
    uint32_t m_nDataSize = 0;
    uint8_t m_bFileRequested = 0;
    uint8_t m_bAutoLayout = 1;
    int m_nAlign = 0;
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    int m_nImageAlignX = 0;
    int m_nImageAlignY = 0;
    uint8_t m_bImagePressed = 0;
    uint8_t m_bImageShown = 0;

    // Widgets, owned through the host; null unless the kind has them and they are made (the
    // view makes them when the control is first shown).
    QLabel* m_pTitle = nullptr;
    QPushButton* m_pButton = nullptr;
    QCheckBox* m_pCheck = nullptr;
    QPushButton* m_pMomentary = nullptr;
    QLabel* m_pValueText = nullptr;
    QLabel* m_pBar = nullptr;
    QLineEdit* m_pEdit = nullptr;
    QPushButton* m_pMinus = nullptr;
    QPushButton* m_pPlus = nullptr;
    QSlider* m_pSlider = nullptr;
    QDateEdit* m_pDatePicker = nullptr;
    QTimeEdit* m_pTimePicker = nullptr;
    QComboBox* m_pDropList = nullptr;
    QListWidget* m_pListBox = nullptr;
    QWidget* m_pChart = nullptr;
    QTableView* m_pTable = nullptr;
    QFont* m_pFont = nullptr;
    QFont* m_pTitleFont = nullptr;
    QImage* m_pBitmap = nullptr;   // the decoded picture
    QPixmap* m_pImageDC = nullptr; // the picture as a surface ready for the screen

    uint32_t m_nGroup = 0;
    QString m_strText;
    uint8_t m_DateTime[8] = {};
    ICtrlHost* m_pParent = nullptr;
    uint8_t m_bShowDate = 0;
    uint8_t m_bShowTime = 0;
    uint8_t m_bShowWeekday = 0;
    QString m_strName;
    QString m_strFormat;

    // Face of both fonts.
    static constexpr const char* kFontFace = "Arial";

private:
    // Creation prologue: the kind check, kind, title and border.
    void BeginCreate(int type, uint8_t border);
    // Widgets of the stored kind, replacing any an earlier creation made.
    void MakeWidgets();
    void Refresh(CtrlRefresh what);
    void Diagnostic(long checkPoint) const;
    void SizeAlarm(long checkPoint) const;
    // Whether the kind is `type`; otherwise the program-fault box.
    bool IsKind(int type) const;
    // LinkSetValue, then LinkSendChanges.
    void Send(const void* bytes, uint32_t length);
    void SendNumber(int32_t value);
    void SendState();

    bool m_bCreated = false;
    std::shared_ptr<const void> m_lifetime = std::make_shared<char>(0);
};
