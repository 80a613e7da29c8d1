#include "sides_tab.h"

#include "channel_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "progress.h"
#include "working_state.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace settings;

namespace {

const char* const kShowTexts[4] = {
    "Состояния первой и второй стороны не считаны!",
    "Состояние второй стороны не считаны!",
    "Состояние первой стороны не считаны!",
    "Состояния первой и второй стороны считаны",
};
const char* const kCallTexts[4] = {
    "Состояния первой и второй стороны не считаны!",
    "Состояние второй стороны не считано!",
    "Состояние первой стороны не считано!",
    "Состояния первой и второй стороны считаны",
};

QString Name(const char* base, int side) {
    return QString("%1_s%2").arg(base).arg(side + 1);
}

} // namespace

SidesTab::SidesTab(const TabContext& context, QWidget* parent) : BlockTab(context, parent) {
    setObjectName("SidesTab");
    auto* groups = new QHBoxLayout;
    groups->addWidget(buildSide(0), 1, Qt::AlignTop);
    groups->addWidget(buildSide(1), 1, Qt::AlignTop);
    bCallRegsSides_ = form::Button(this, "bCallRegsSides", "Запросить настройки");
    bWriteRegsSides_ = form::Button(this, "bWriteRegsSides", "Сохранить настройки");
    bWriteRegsSides_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bCallRegsSides_);
    buttons->addWidget(bWriteRegsSides_);
    buttons->addStretch(1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(groups);
    v->addLayout(buttons);
    v->addStretch(1);
    connect(bCallRegsSides_, &QPushButton::clicked, this, &SidesTab::bCallRegsSidesClick);
    connect(bWriteRegsSides_, &QPushButton::clicked, this, &SidesTab::bWriteRegsSidesClick);

    const auto every = FieldCheck::When::EveryExit;
    using T = SidesTab;
    onExit(sides_[0].countKor, &T::eCountKor_s1Exit, every);
    onExit(sides_[1].countKor, &T::eCountKor_s2Exit, every);
    onExit(sides_[0].date, &T::maskDateLastKor_s1Exit, every);
    onExit(sides_[1].date, &T::maskDateLastKor_s2Exit, every);
    onExit(sides_[0].countTranz, &T::eCountTranz_s1Exit, every);
    onExit(sides_[1].countTranz, &T::eCountTranz_s2Exit, every);
    for (int s = 0; s < 2; ++s)
        sides_[s].binder = new FieldBinder(this, SideFields(s), sides_[s].buffer.data(), fields_, this);
}

SidesTab::~SidesTab() = default;

QGroupBox* SidesTab::buildSide(int side) {
    Side& s = sides_[side];
    s.group = new QGroupBox(side == 0 ? "Сторона А" : "Сторона Б", this);
    s.group->setObjectName(side == 0 ? "gbRegsSide1" : "gbRegsSide2");
    auto edit = [&](const char* base, const char* keys) {
        return form::Edit(s.group, Name(base, side).toLatin1().constData(), 0, keys);
    };
    s.activeNoz = edit("eActiveNoz", nullptr);
    s.activeNoz->setReadOnly(true);
    s.countKor = edit("eCountKor", "[0-9]*");
    // Typed with at most 8 digits; a longer count the controller holds still shows whole.
    s.countTranz = edit("eCountTranz", "[0-9]{0,8}");
    s.date = edit("maskDateLastKor", nullptr);
    s.date->setInputMask("00.00.99;_");
    s.date->setText("00.00.00");
    form::Grid g(s.group, helpFactory());
    g.row("Номер выбранного пистолета", s.activeNoz);
    g.row("Счетчик количества корректировок", s.countKor);
    g.row("Дата последней корректировки", s.date);
    g.row("Счетчик транзакций", s.countTranz);
    return s.group;
}

// ---- read and write ------------------------------------------------------

void SidesTab::fill(int side) {
    Side& s = sides_[side];
    s.binder->fill(true);
    s.date->setText(QString::fromStdString(SideDateText(s.buffer)));
    s.dateShown = s.date->text();
    fields_->setValid(s.date, true);
}

int SidesTab::ReadSidesSetts() {
    const bool a = ReadSide(port(), ctrl(), 0, sides_[0].buffer) == 1;
    if (a) {
        setStatus("Чтения состояния стороны А произведено");
        fill(0);
    } else {
        showError("Ошибка чтения состояния стороны А");
    }
    const bool b = ReadSide(port(), ctrl(), 1, sides_[1].buffer) == 1;
    if (b) {
        setStatus("Чтения состояния стороны Б произведено");
        fill(1);
    } else {
        showError("Ошибка чтения состояния стороны 2");
    }
    return a && b ? 1 : a ? -2 : b ? -1 : -3;
}

int SidesTab::writeSide(int side) {
    const QString n = QString::number(side + 1);
    if (WriteSide(port(), ctrl(), side, sides_[side].buffer) != 1) {
        setStatus("Ошибка записи состояния стороны " + n);
        return -1;
    }
    setStatus("Запись состояния стороны " + n + " произведена");
    return 1;
}

int SidesTab::WriteSides1Setts() {
    return writeSide(0);
}

int SidesTab::WriteSides2Setts() {
    return writeSide(1);
}

void SidesTab::applyRead(int result, const char* const texts[4]) {
    sides_[0].group->setEnabled(result == 1 || result == -2);
    sides_[1].group->setEnabled(result == 1 || result == -1);
    bWriteRegsSides_->setEnabled(result != -3);
    setStatus(texts[result == 1 ? 3 : result + 3]);
}

// ---- handlers ------------------------------------------------------------

void SidesTab::TabRegsSidesShow() {
    for (const Side& s : sides_)
        for (QLineEdit* e : {s.countKor, s.countTranz, s.date})
            e->setReadOnly(true);
    bWriteRegsSides_->hide();
    applyRead(ReadSidesSetts(), kShowTexts);
}

void SidesTab::bCallRegsSidesClick() {
    const BusyCursor busy;
    applyRead(ReadSidesSetts(), kCallTexts);
}

void SidesTab::bWriteRegsSidesClick() {
    if (!frame_.passwordStep()) return;
    // A date the box could not take would not be written: nothing is.
    if (refuseWhileMarked(false)) return;
    int r = 0;
    if (sides_[0].group->isEnabledTo(this)) r = WriteSides1Setts();
    if (sides_[1].group->isEnabledTo(this)) r = 10 * r + WriteSides2Setts();
    if (const char* text = SidesWrittenText(r)) setStatus(text);
}

void SidesTab::countKorExit(int side) {
    Side& s = sides_[side];
    long v = 0;
    if (!TextToInt(dialogs_, s.countKor->text(), v)) return;
    if (v > kSideCountKorMax) {
        dialogs_.message("Введено число превышающее максимальное количество корректировок", QString(),
                         Dialogs::Icon::Warning);
        s.countKor->setText(QString::number(StoredCountKor(s.buffer)));
        return;
    }
    StoreCountKor(s.buffer, v);
}

void SidesTab::dateExit(int side) {
    Side& s = sides_[side];
    // Only a date the engineer changed is taken: a stored byte the box cannot
    // show in two digits stays as it is.
    if (s.date->text() == s.dateShown) {
        fields_->setValid(s.date, true);
        return;
    }
    const bool taken = StoreSideDate(s.buffer, s.date->text().toStdString());
    fields_->setValid(s.date, taken);
    if (taken) s.dateShown = s.date->text();
}

void SidesTab::countTranzExit(int side) {
    Side& s = sides_[side];
    StoreCountTranz(s.buffer, s.countTranz->text().toStdString());
}
