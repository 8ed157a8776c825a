// The Control Layout dialog: style, position, size, page, fonts, border and title of one
// control, or of several at once (then position, page and style are disabled and left alone).
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;

struct ControlLayoutValues {
    int style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int page = 0;
    int fontSize = 10;
    bool fontBold = false;
    bool border = false;
    bool showTitle = false;
    int titleSize = 0;
    bool titleBold = false;
};

class CControlLayout : public QDialog {
    Q_OBJECT
public:
    // styleNames: the control's styles, the current one being initial.style.
    CControlLayout(const QStringList& styleNames, const ControlLayoutValues& initial,
                   bool severalControls, QWidget* parent = nullptr);

    // After OK; in several-controls mode position, page and style are the initial ones.
    const ControlLayoutValues& Values() const { return m_values; }

public slots:
    void accept() override;

private:
    QLineEdit* AddNumber(const QString& label, int value, int row, int column);

    ControlLayoutValues m_values;
    QComboBox* m_pStyle;
    QLineEdit* m_pX = nullptr;
    QLineEdit* m_pY = nullptr;
    QLineEdit* m_pWidth = nullptr;
    QLineEdit* m_pHeight = nullptr;
    QLineEdit* m_pPage = nullptr;
    QLineEdit* m_pFontSize = nullptr;
    QLineEdit* m_pTitleSize = nullptr;
    QCheckBox* m_pFontBold;
    QCheckBox* m_pBorder;
    QCheckBox* m_pShowTitle;
    QCheckBox* m_pTitleBold;
    QGridLayout* m_pGrid;
};
