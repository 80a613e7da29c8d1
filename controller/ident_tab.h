// The main tab "Основное меню": identification and the one-shot commands.
#pragma once

#include <QWidget>

class Dialogs;
class WorkingState;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

class TIdentTab : public QWidget {
    Q_OBJECT
public:
    // `frame` is the main window: the status line SB, lNumberCtrlr, the menus
    // and the controls of other tabs that identification sets are found in it
    // by their names.
    TIdentTab(WorkingState& state, Dialogs& dialogs, QWidget* frame, QWidget* parent = nullptr);

    // The modal forms opened by the primary setup, factory defaults and report buttons.
    void setForms(QDialog* globalSetts, QDialog* defSet, QDialog* viewParam);
    QTimer* findTimer() const { return tmFindTrk_; }

public slots:
    void IdentToForm();
    void DisableCommands();
    void bCallIdentClick();
    void bResetClick();
    void bReservCallClick();
    void bSimImpClick();
    void bSetTabloTestClick();
    void bLoadFiskClick();
    void bIrValReadClick();
    void bReadTemperClick();
    void ReadCRCClick();
    void TestButtonClick();
    void bGlobalSetClick();
    void bGlobalDefaultSetClick();
    void bSaveParamToTextClick();
    void LETimeoutChange(const QString& text);

private:
    QPushButton* button(const char* name, const QString& caption);
    template <class T> T* frameChild(const char* name) const;
    void setStatus(const QString& text);
    void setNumberLabel(const QString& text);
    void enableAfterIdent(bool withTemperature);

    WorkingState& state_;
    Dialogs& dialogs_;
    QWidget* frame_;
    QDialog* globalSetts_ = nullptr;
    QDialog* defSet_ = nullptr;
    QDialog* viewParam_ = nullptr;

    QPushButton *bCallIdent_, *bReservCall_, *bFindCtrlr_, *bSimImp_, *bReset_, *bGlobalSet_,
        *bGlobalDefaultSet_, *bSaveImage_, *bLoadImage_, *bLoadFisk_, *bIrValRead_, *bReadTemper_, *ReadCRC_,
        *TestButton_, *bSaveParamToText_, *bSetTabloTest_;
    QRadioButton *rbStandartTablo_, *rbCapacityTablo_, *rbTestTablo_, *rbFiskTablo_;
    QLabel *lSimulState_, *lTemperature_;
    QLineEdit *TestEdit_, *LETimeout_;
    QPlainTextEdit *mIdent_, *mIRsValue_;
    QTimer* tmFindTrk_;
};
