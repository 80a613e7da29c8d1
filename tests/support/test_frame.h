// A small frame for tab tests: a status line, the number label and a tab
// widget with the main tab, as the main window has them.
#pragma once

#include "frame.h"
#include "working_state.h"

#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>

class TestFrame : public Frame {
public:
    TestFrame(WorkingState& state, QStatusBar* sb, QLabel* number, QTabWidget* tabs, QWidget* mainTab)
        : state_(state), sb_(sb), number_(number), tabs_(tabs), mainTab_(mainTab) {}

    void setStatus(const QString& text) override { sb_->showMessage(text); }
    QString status() const override { return sb_->currentMessage(); }
    void showMainTab() override {
        tabs_->setTabVisible(tabs_->indexOf(mainTab_), true);
        tabs_->setCurrentWidget(mainTab_);
    }
    void setNumberLabel(const QString& text) override { number_->setText(text); }
    void setControllerNumber(int number) override {
        state_.controllerNumber = number;
        showControllerNumber(number);
    }
    void requestReidentify() override {
        state_.ReidentifyPending = true;
        showMainTab();
        state_.requestRepaint();
    }
    void repaint() override { state_.requestRepaint(); }
    void setPortMenusVisible(bool visible) override { portMenusVisible = visible; }
    bool passwordStep() override { return state_.passwordStep ? state_.passwordStep() : true; }
    bool adjustPasswordStep() override { return passwordStep(); }
    bool demo() const override { return state_.demo; }

    bool portMenusVisible = true;

private:
    WorkingState& state_;
    QStatusBar* sb_;
    QLabel* number_;
    QTabWidget* tabs_;
    QWidget* mainTab_;
};
