#include "global_setts_form.h"

#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "form_builder.h"
#include "frame.h"
#include "guarded_write.h"
#include "guarded_write_text.h"
#include "image_files.h"
#include "progress.h"
#include "protocol_state.h"
#include "working_state.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

using namespace tools;

namespace {

const char* const kNotWrittenFixFirst = "Запись не произведена. Исправьте ошибку и повторите попытку";

QString U(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TfGlobalSetts::TfGlobalSetts(const TabContext& context, QWidget* parent)
    : FormDialog(context, "TfGlobalSetts", "Первичная настройка", parent) {
    buildUi();
    binder_ =
        new FieldBinder(this, GlobalSettsFields(), model_.p(), fields_, this, FieldCheck::When::EveryExit);
    connect(binder_, &FieldBinder::checked, this, &TfGlobalSetts::updateSaveButton);
}

TfGlobalSetts::~TfGlobalSetts() = default;

void TfGlobalSetts::buildUi() {
    auto* top = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    top->addLayout(columns);

    auto* input = new QGroupBox("Ввод параметров", this);
    input->setObjectName("gbInputGlobal");
    auto* g = new QGridLayout(input);
    auto help = [this](const char* name, void (TfGlobalSetts::*slot)()) {
        auto* b = form::Button(this, name, "?");
        b->setFixedWidth(22);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    cbNumSideGlobal_ = form::Combo(input, "cbNumSideGlobal", {"1 сторона", "2 стороны"});
    cbNumNozGlobal_ = form::Combo(input, "cbNumNozGlobal",
                                  {"1 пистолет", "2 пистолета", "3 пистолета", "4 пистолета", "5 пистолетов",
                                   "6 пистолетов", "7 пистолетов", "8 пистолетов"});
    eAdrUtrkGlobal_ = form::Edit(input, "eAdrUtrkGlobal", 0, "[-+0-9, ]*", 200);
    eAdrNaraGlobal_ = form::Edit(input, "eAdrNaraGlobal", 0, "[-+0-9, ]*", 200);
    eAdrUtrkGlobal_->setText("1");
    eAdrNaraGlobal_->setText("1");
    cbTblTypeGlobal_ = form::Combo(
        input, "cbTblTypeGlobal",
        {"T_107     ", "T_105     ", "T_202     ", "T_217     ", "T_218     ", "T_209     ", "T_209_17 "});
    ImpE_ = form::Combo(input, "ImpE", {"100", "256", "132", "200", "Ручной выбор"});
    int row = 0;
    auto line = [&](const QString& label, QWidget* control, QWidget* button) {
        g->addWidget(new QLabel(label, input), row, 0);
        g->addWidget(control, row, 1);
        if (button) g->addWidget(button, row, 2);
        ++row;
    };
    line("Количество сторон", cbNumSideGlobal_, help("helpSideGlobal", &TfGlobalSetts::helpSideGlobalClick));
    line("Количество пистолетов на сторону", cbNumNozGlobal_,
         help("helpNozGlobal", &TfGlobalSetts::helpNozGlobalClick));
    line("Адреса УТРК", eAdrUtrkGlobal_, help("helpUtrkGlobal", &TfGlobalSetts::helpUtrkGlobalClick));
    line("Адреса Нара", eAdrNaraGlobal_, help("helpNaraGlobal", &TfGlobalSetts::helpNaraGlobalClick));
    line("Тип табло", cbTblTypeGlobal_, help("helpTblGlobal", &TfGlobalSetts::helpTblGlobalClick));
    line("Импульсов на литр", ImpE_, nullptr);
    auto* phases = new QGroupBox("Фазы датчика импульсов", input);
    phases->setObjectName("PhaseMeterGlobal");
    auto* pl = new QVBoxLayout(phases);
    PhaseMeterGlobal_ = new QButtonGroup(phases);
    const char* const kPhaseItems[] = {"одна фаза(1)", "две фазы", "одна фаза(2)"};
    for (int i = 0; i < 3; ++i) {
        auto* rb = new QRadioButton(kPhaseItems[i], phases);
        rb->setObjectName(QString("PhaseMeterGlobal%1").arg(i));
        PhaseMeterGlobal_->addButton(rb, i);
        pl->addWidget(rb);
    }
    PhaseMeterGlobal_->button(0)->setChecked(true);
    g->addWidget(phases, row++, 0, 1, 3);
    g->setRowStretch(row, 1);
    columns->addWidget(input);

    auto* extra = new QGroupBox("Дополнительно", this);
    extra->setObjectName("gbExtraGlobal");
    auto* e = new QGridLayout(extra);
    // The number boxes and their labels are the field rows' (the binder checks
    // them on every exit); the overflow buffer has a number format of its own.
    int r = 0;
    auto addBox = [&](QLineEdit* box, const char* label) {
        e->addWidget(new QLabel(label, extra), r, 0);
        e->addWidget(box, r++, 1);
    };
    for (const fields::Field& f : GlobalSettsFields())
        if (f.label) addBox(form::Edit(extra, f.name, 0, nullptr, 70), f.label);
    eHydroHitGlobal_ = form::Edit(extra, "eHydroHitGlobal", 0, "[0-9,]*", 70);
    addBox(eHydroHitGlobal_, "Буфер перелива, мл");
    fields_->attach(
        eHydroHitGlobal_, [this] { eHydroHitGlobalExit(); }, FieldCheck::When::EveryExit);
    e->addWidget(new QLabel("Монитор параметров", extra), r++, 0, 1, 2);
    lbMonSettsGlobal_ = new QListWidget(extra);
    lbMonSettsGlobal_->setObjectName("lbMonSettsGlobal");
    e->addWidget(lbMonSettsGlobal_, r++, 0, 1, 2);
    columns->addWidget(extra, 1);

    auto* bottom = new QHBoxLayout;
    bSaveParamGlobal_ = form::Button(this, "bSaveParamGlobal", "Записать");
    progrSave_ = new QProgressBar(this);
    progrSave_->setObjectName("progrSave");
    progrSave_->hide();
    lErrorWriteGlobal_ = new QLabel(this);
    lErrorWriteGlobal_->setObjectName("lErrorWriteGlobal");
    bottom->addWidget(bSaveParamGlobal_);
    bottom->addWidget(progrSave_, 1);
    bottom->addWidget(lErrorWriteGlobal_, 1);
    top->addLayout(bottom);

    connect(cbNumSideGlobal_, &QComboBox::activated, this, &TfGlobalSetts::cbNumSideGlobalSelect);
    connect(cbNumNozGlobal_, &QComboBox::activated, this, &TfGlobalSetts::cbNumNozGlobalSelect);
    fields_->attach(
        eAdrUtrkGlobal_, [this] { eAdrUtrkGlobalExit(); }, FieldCheck::When::EveryExit);
    fields_->attach(
        eAdrNaraGlobal_, [this] { eAdrNaraGlobalExit(); }, FieldCheck::When::EveryExit);
    connect(bSaveParamGlobal_, &QPushButton::clicked, this, &TfGlobalSetts::bSaveParamGlobalClick);
    resize(880, 600);
}

void TfGlobalSetts::FormShow() {
    lbMonSettsGlobal_->clear();
    const GlobalOpening o = ReadGlobalSetts(state_.port(), state_.ctrl(), model_);
    if (o.textsReady) {
        eAdrNaraGlobal_->setText(U(AddressText(model_.channelAddrs.data(), model_.channelCount())));
        eAdrUtrkGlobal_->setText(U(AddressText(model_.sideAddrs.data(), model_.sideCount)));
        binder_->fill(false);
        eHydroHitGlobal_->setText(U(HydroHitText(model_.p()[settings::kHydroHit])));
    }
    for (const std::string& m : o.messages)
        dialogs_.message(U(m), QString(),
                         o.result == GlobalOpening::Done ? Dialogs::Icon::Warning : Dialogs::Icon::Error);
    opened_ = o.result == GlobalOpening::Done;
    if (!opened_) {
        bSaveParamGlobal_->setEnabled(false);
        if (o.result == GlobalOpening::LinkFailed) lbMonSettsGlobal_->addItem(kNoLinkLine);
        return;
    }
    cbNumSideGlobal_->setCurrentIndex(o.items.side);
    cbNumNozGlobal_->setCurrentIndex(o.items.nozzle);
    ImpE_->setCurrentIndex(o.items.meter);
    PhaseMeterGlobal_->button(o.items.phase)->setChecked(true);
    cbTblTypeGlobal_->setCurrentIndex(o.items.table);
    // Every box now shows what was read: no mark of an earlier opening stays.
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        const bool address = box == eAdrUtrkGlobal_ || box == eAdrNaraGlobal_;
        FieldCheck::reset(box, address ? FieldCheck::Style::Font : FieldCheck::Style::Box);
    }
    invalid_ = 0;
    lErrorWriteGlobal_->clear();
    MonSettsFill();
    updateSaveButton();
}

void TfGlobalSetts::MonSettsFill() {
    for (const std::string& line : GlobalSummary(model_, state_.ctrl()))
        lbMonSettsGlobal_->addItem(U(line));
}

void TfGlobalSetts::updateSaveButton() {
    // Only blocks that were read are ever written back.
    bSaveParamGlobal_->setEnabled(invalid_ == 0 && opened_);
}

void TfGlobalSetts::AutoFillUtrkAdr(int sides) {
    AutoFillSideAddresses(model_, sides);
    eAdrUtrkGlobal_->setText(U(AddressText(model_.sideAddrs.data(), sides)));
}

void TfGlobalSetts::AutoFillNaraAdr(int sides, int nozzles) {
    AutoFillChannelAddresses(model_, sides, nozzles);
    if (model_.nozzleCount != nozzles) cbNumNozGlobal_->setCurrentIndex(model_.nozzleCount - 1);
    eAdrNaraGlobal_->setText(U(AddressText(model_.channelAddrs.data(), model_.channelCount())));
}

void TfGlobalSetts::cbNumSideGlobalSelect(int index) {
    model_.sideCount = index + 1;
    AutoFillUtrkAdr(model_.sideCount);
    AutoFillNaraAdr(model_.sideCount, model_.nozzleCount);
}

void TfGlobalSetts::cbNumNozGlobalSelect(int index) {
    model_.nozzleCount = index + 1;
    AutoFillNaraAdr(model_.sideCount, model_.nozzleCount);
}

void TfGlobalSetts::addressExit(QLineEdit* box, int count, int* entries) {
    const auto values = ParseAddressList(box->text().toStdString(), count);
    if (values)
        for (int i = 0; i < count; ++i)
            entries[i] = static_cast<int>((*values)[static_cast<size_t>(i)]);
    fields_->setValid(box, values && AddressesValid(*values), FieldCheck::Style::Font);
    updateSaveButton();
}

void TfGlobalSetts::eAdrUtrkGlobalExit() {
    addressExit(eAdrUtrkGlobal_, model_.sideCount, model_.sideAddrs.data());
}

void TfGlobalSetts::eAdrNaraGlobalExit() {
    addressExit(eAdrNaraGlobal_, model_.channelCount(), model_.channelAddrs.data());
}

void TfGlobalSetts::eHydroHitGlobalExit() {
    const auto value = HydroHitByte(eHydroHitGlobal_->text().toStdString());
    fields_->setValid(eHydroHitGlobal_, value.has_value());
    if (value) model_.p()[settings::kHydroHit] = *value;
    // Its mark takes effect at the next write, which refuses while any box is marked.
}

void TfGlobalSetts::showHelp(const char* control) {
    if (const fields::Field* f = fields::FindField(GlobalSettsFields(), control))
        dialogs_.message(QString::fromUtf8(f->hint), QString(), Dialogs::Icon::Information);
}

void TfGlobalSetts::helpSideGlobalClick() {
    showHelp("cbNumSideGlobal");
}
void TfGlobalSetts::helpNozGlobalClick() {
    showHelp("cbNumNozGlobal");
}
void TfGlobalSetts::helpUtrkGlobalClick() {
    showHelp("eAdrUtrkGlobal");
}
void TfGlobalSetts::helpNaraGlobalClick() {
    showHelp("eAdrNaraGlobal");
}
void TfGlobalSetts::helpTblGlobalClick() {
    showHelp("cbTblTypeGlobal");
}

GlobalItems TfGlobalSetts::items() const {
    GlobalItems it;
    it.side = cbNumSideGlobal_->currentIndex();
    it.nozzle = cbNumNozGlobal_->currentIndex();
    it.meter = ImpE_->currentIndex();
    it.phase = std::max(PhaseMeterGlobal_->checkedId(), 0);
    it.table = cbTblTypeGlobal_->currentIndex();
    return it;
}

void TfGlobalSetts::bSaveParamGlobalClick() {
    if (!opened_) return; // nothing was read: nothing to write back
    // The address lists are checked as they stand now: an auto-filled list
    // that repeats an address is never written.
    eAdrUtrkGlobalExit();
    eAdrNaraGlobalExit();
    progrSave_->setRange(0, GlobalWriteTotal(model_.params.length));
    progrSave_->setValue(0);
    if (invalid_ != 0) {
        lErrorWriteGlobal_->setText(kNotWrittenFixFirst);
        return;
    }
    bSaveParamGlobal_->setEnabled(false);
    lErrorWriteGlobal_->clear();
    state_.ReidentifyPending = true;

    // The controller as it is goes into a snapshot first: the write resets
    // every channel's state registers.
    const bool demo = frame_.demo();
    const GlobalItems it = items();
    BuildGlobalParams(model_, it);
    BuildGlobalChannels(model_, it);
    lErrorWriteGlobal_->setText("Сохранение снимка контроллера...");
    progrSave_->setRange(0, 0); // busy until the controller was read whole
    progrSave_->show();
    QCoreApplication::processEvents();
    const GlobalPlan plan = PlanGlobalSetts(state_.port(), state_.ctrl(), model_);
    image::WholeWriteRequest q;
    q.port = state_.port();
    q.ctrl = state_.ctrl();
    q.demo = demo;
    q.demoImage = Protocol().demoFileName;
    q.blocks = plan.blocks;
    q.goOnWithoutSnapshot = [&](const image::Snapshot& snap) {
        progrSave_->hide();
        lErrorWriteGlobal_->clear();
        return dialogs_.okCancel(U(image::SnapshotFailedQuestion(snap, demo)), QString(),
                                 Dialogs::Icon::Warning);
    };
    q.progress = [this](image::WholeStage stage, long done, long total) {
        if (stage == image::WholeStage::Snapshot) {
            ChangeProgress(0, progrSave_);
            return;
        }
        if (stage != image::WholeStage::Write && stage != image::WholeStage::Verify) return;
        if (progrSave_->maximum() != total) {
            lErrorWriteGlobal_->setText(stage == image::WholeStage::Verify ? "Проверка записанного..." : "");
            progrSave_->setRange(0, static_cast<int>(total));
            progrSave_->show();
        }
        ChangeProgress(static_cast<int>(done), progrSave_);
    };
    const image::WholeWriteResult r = image::WriteWholeController(q);
    progrSave_->hide();
    lErrorWriteGlobal_->clear();
    if (r.stopped != image::WholeWriteResult::Stop::None) {
        updateSaveButton();
        return;
    }
    AcceptGlobalWrite(model_, r);
    if (r.foundAt >= 0 && r.foundAt != state_.ctrl()) frame_.setControllerNumber(r.foundAt);
    const bool written = r.ok() && plan.nozRegsUnread < 0;
    if (!written) lErrorWriteGlobal_->setText(kWriteError);
    std::string text = image::WholeWriteResultText(image::kPrimaryWords, r);
    if (plan.nozRegsUnread >= 0) text = NozRegsNotWritten(plan.nozRegsUnread) + "\n" + text;
    dialogs_.message(U(text), QString(), written ? Dialogs::Icon::Information : Dialogs::Icon::Error);
    if (lErrorWriteGlobal_->text().isEmpty()) accept();
    updateSaveButton();
}
