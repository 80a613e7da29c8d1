// The main tab "Основное меню": identification and the one-shot commands.
#pragma once

#include "block_tab.h"

#include <QWidget>

class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

class IdentTab : public BlockTab {
    Q_OBJECT
public:
    // Identification tells the other tabs through the working state's signals
    // (deviceTypeRead, identTextRead); the frame gets the status line, the
    // number label and the port menus.
    IdentTab(const TabContext& context, QWidget* parent = nullptr);
    void tabShown() override {}

    // The modal forms opened by the primary setup, factory defaults and report buttons.
    void setForms(QDialog* globalSetts, QDialog* defSet, QDialog* viewParam);
    QTimer* findTimer() const { return tmFindTrk_; }
    // "Поиск контроллеров" (the controller search runs it).
    QPushButton* findButton() const { return bFindCtrlr_; }
    // The commands that need a controller number on an open port, and the
    // call over the reserve channel, which needs only the port.
    void setCommandsEnabled(bool commands, bool reserve);
    // The window opens without the table fitting (TestEdit, TestButton) and
    // the simulator state lSimulState; identification shows the state again.
    void hideDiagnostics();

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
    // Whole-controller image into a file and back (not offered in demo mode).
    void bSaveImageClick();
    void bLoadImageClick();

private:
    QPushButton* button(const char* name, const QString& caption);
    void enableAfterIdent(bool hardware);
    // lSimulState and bSimImp for a ReadSimulator result, or after the button's own switch.
    void showSimulator(int simulator, bool switched);
    bool loadImage();
    // Identification before an image transfer (with `sizes`, the block sizes
    // read too); "Нет связи с устройством" when it fails.
    bool identifyForImage(bool sizes);

    QDialog* globalSetts_ = nullptr;
    QDialog* defSet_ = nullptr;
    QDialog* viewParam_ = nullptr;

    QPushButton *bCallIdent_, *bReservCall_, *bFindCtrlr_, *bSaveStation_, *bSimImp_, *bReset_, *bGlobalSet_,
        *bGlobalDefaultSet_, *bSaveImage_, *bLoadImage_, *bLoadFisk_, *bIrValRead_, *bReadTemper_, *ReadCRC_,
        *TestButton_, *bSaveParamToText_, *bSetTabloTest_;
    QRadioButton *rbStandartTablo_, *rbCapacityTablo_, *rbTestTablo_, *rbFiskTablo_;
    QLabel *lSimulState_, *lTemperature_, *lImageStat_;
    QProgressBar* progrImage_;
    QLineEdit *TestEdit_, *LETimeout_;
    QPlainTextEdit *mIdent_, *mIRsValue_;
    QTimer* tmFindTrk_;
};
