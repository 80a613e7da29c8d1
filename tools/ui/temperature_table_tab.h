// The tab "Табл. Тc": the controller's temperature table, read, recalculated
// from the thermistor's parameters and written back.
#pragma once

#include "block_tab.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TemperatureTableTab : public BlockTab {
    Q_OBJECT
public:
    TemperatureTableTab(const TabContext& context, QWidget* parent = nullptr);
    void tabShown() override { TabTemperatureTblShow(); }

    // The key filters: true when the key reaches the box (it then sets
    // bRecalcTblT from the other two boxes).
    bool eRnKeyPress(QChar key);
    bool eBKeyPress(QChar key);
    bool eTnKeyPress(QChar key);

public slots:
    void TabTemperatureTblShow();
    void bRecalcTblTClick();
    void bReadTblTClick();
    void bWriteTblTClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    // After an accepted key in one box: the button follows the other two.
    void recalcEnabledBy(const QLineEdit* other1, const QLineEdit* other2);
    void setRow(int i, const QString& resistance, uint16_t reading);

    QLabel* Label1_;
    QTableWidget* sgTblT_;
    QLineEdit *eRn_, *eB_, *eTn_;
    QPushButton *bRecalcTblT_, *bReadTblT_, *bWriteTblT_;
};
