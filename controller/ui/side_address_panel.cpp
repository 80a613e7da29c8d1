#include "side_address_panel.h"

#include "address_grid.h"
#include "ctrl_params_core.h"
#include "form_builder.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

using namespace settings;

namespace {

constexpr int kEditWidth = 70;
constexpr auto kFont = FieldCheck::Style::Font;

int SideAddressByte(int side) {
    return side == 0 ? kAddrSideA : kAddrSideB;
}

} // namespace

SideAddressPanel::SideAddressPanel(QWidget* parent, uint8_t* block, FieldCheck* check)
    : block_(block), check_(check) {
    for (int side = 0; side < 2; ++side) {
        const QByteArray n = QByteArray::number(side + 1);
        auto* gb = gbSide_[side] = new QGroupBox(side == 0 ? "Сторона A" : "Сторона Б", parent);
        gb->setObjectName("gbSide" + n);
        auto* g = new QGridLayout(gb);
        QLineEdit* e = eAdrTrk_[side] = form::Edit(gb, ("eAdrTrk_" + n).constData(), 3, "[0-9]*", kEditWidth);
        e->setText("255");
        sgAdrNaraTrk_[side] = new AddressGrid(gb, ("sgAdrNaraTrk_" + n).constData(), 1);
        sgPhysToLogTrk_[side] = new AddressGrid(gb, ("sgPhysToLogTrk_" + n).constData(), 2);
        g->addWidget(new QLabel("Адрес стороны", gb), 0, 0);
        g->addWidget(e, 0, 1);
        g->addWidget(new QLabel("Адреса каналов Нара", gb), 1, 0);
        g->addWidget(sgAdrNaraTrk_[side], 1, 1);
        g->addWidget(new QLabel("Физическая архитектура", gb), 2, 0);
        g->addWidget(sgPhysToLogTrk_[side], 2, 1);
        g->setColumnStretch(2, 1);
        g->setVerticalSpacing(2);
        g->setContentsMargins(6, 2, 6, 4);
    }
    size(1);
}

int SideAddressPanel::nozzles() const {
    return NozzlesOf(block_);
}
int SideAddressPanel::sides() const {
    return SidesOf(block_);
}

void SideAddressPanel::setCells(AddressGrid* const (&grids)[2], const Cells& a, const Cells& b) {
    grids[0]->setCells(a);
    grids[1]->setCells(b);
}

void SideAddressPanel::resetMarks(AddressGrid* const (&grids)[2]) {
    for (AddressGrid* t : grids)
        FieldCheck::reset(t, kFont);
}

void SideAddressPanel::size(int columns) {
    const int n = std::clamp(columns, 1, kMaxNozzles);
    for (AddressGrid* t : {sgAdrNaraTrk_[0], sgAdrNaraTrk_[1], sgPhysToLogTrk_[0], sgPhysToLogTrk_[1]})
        t->setColumns(n);
    for (AddressGrid* t : sgPhysToLogTrk_)
        t->setHeader(PhysHeaderCells(n));
}

void SideAddressPanel::showAddresses(int nozzleItem, bool twoSides) {
    gbSide_[1]->setVisible(twoSides);
    for (int side = 0; side < 2; ++side) {
        eAdrTrk_[side]->setText(QString::number(block_[SideAddressByte(side)]));
        FieldCheck::reset(eAdrTrk_[side], kFont);
    }
    size(nozzleItem + 1);
    Cells a, b;
    FillNaraCells(block_, nozzleItem + 1, a, b);
    setCells(sgAdrNaraTrk_, a, b);
    resetMarks(sgAdrNaraTrk_);
}

void SideAddressPanel::showMap() {
    Cells a, b;
    FillPhysCells(block_, nozzles(), sides(), a, b);
    setCells(sgPhysToLogTrk_, a, b);
    resetMarks(sgPhysToLogTrk_);
}

// The Nara addresses numbered on from side A's first, the map renumbered.
void SideAddressPanel::renumber() {
    Cells a, b;
    AutoNumberNara(block_, nozzles(), a, b);
    setCells(sgAdrNaraTrk_, a, b);
    RenumberPhys(nozzles(), a, b);
    setCells(sgPhysToLogTrk_, a, b);
}

void SideAddressPanel::sidesChanged(bool twoSides) {
    gbSide_[1]->setVisible(twoSides);
    renumber();
}

void SideAddressPanel::nozzlesChanged() {
    size(nozzles());
    renumber();
    for (QLineEdit* e : eAdrTrk_)
        check_->setValid(e, true, kFont);
    for (AddressGrid* t : sgAdrNaraTrk_)
        check_->setValid(t, true, kFont);
    const Cells a = sgAdrNaraTrk_[0]->cells(), b = sgAdrNaraTrk_[1]->cells();
    if (FirstBadNaraCell(a, b) >= 0)
        check_->setValid(sgAdrNaraTrk_[0], false, kFont);
    else if (sides() == 2 && FirstBadNaraCell(b, a) >= 0)
        check_->setValid(sgAdrNaraTrk_[1], false, kFont);
}

void SideAddressPanel::addressExit(int side) {
    QLineEdit *own = eAdrTrk_[side], *other = eAdrTrk_[1 - side];
    int v = 0;
    if (!SideAddressValid(own->text().trimmed().toStdString(), &v)) {
        check_->setValid(own, false, kFont);
        return;
    }
    const bool otherValid = SideAddressValid(other->text().trimmed().toStdString());
    if (own->text().trimmed() == other->text().trimmed() && sides() == 2) {
        check_->setValid(own, false, kFont);
        check_->setValid(other, false, kFont);
    } else {
        check_->setValid(own, true, kFont);
        // The other box keeps its mark while its own text is still not an address.
        if (otherValid) check_->setValid(other, true, kFont);
    }
    block_[SideAddressByte(side)] = static_cast<uint8_t>(v);
}

// Grid A's zero or repeated address only colours it (never written); a value
// that is no address marks it. Grid B's cells must differ from each other and
// from grid A's.
void SideAddressPanel::naraExit(int side) {
    AddressGrid* t = sgAdrNaraTrk_[side];
    t->clearSelection();
    const Cells c = t->cells();
    if (side == 1) {
        const bool ok = FirstBadNaraCell(c, sgAdrNaraTrk_[0]->cells()) < 0;
        check_->setValid(t, ok, kFont);
        if (ok) StoreNaraB(block_, nozzles(), c);
        return;
    }
    const GridACheck result = CheckNaraGridA(c);
    if (result == GridACheck::Invalid) {
        check_->setValid(t, false, kFont);
        return;
    }
    FieldCheck::paint(t, result == GridACheck::Coloured);
    if (result == GridACheck::Ok) StoreNaraA(block_, c);
}

void SideAddressPanel::physExit(int side) {
    AddressGrid* t = sgPhysToLogTrk_[side];
    t->clearSelection();
    const Cells c = t->cells();
    const bool ok = FirstBadPhysCell(c, sgPhysToLogTrk_[1 - side]->cells()) < 0;
    check_->setValid(t, ok, kFont);
    if (ok && side == 0) StorePhysA(block_, nozzles(), sides(), c);
    if (ok && side == 1) StorePhysB(block_, c);
}

void SideAddressPanel::take() {
    TakeGrids(block_, nozzles(), sides(), sgAdrNaraTrk_[0]->cells(), sgAdrNaraTrk_[1]->cells(),
              sgPhysToLogTrk_[0]->cells(), sgPhysToLogTrk_[1]->cells());
}

void SideAddressPanel::clearSelection() {
    for (AddressGrid* t : {sgAdrNaraTrk_[0], sgAdrNaraTrk_[1], sgPhysToLogTrk_[0], sgPhysToLogTrk_[1]})
        t->clearSelection();
}
