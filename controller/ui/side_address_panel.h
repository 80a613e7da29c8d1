// The addressing of the two sides on the settings tab: a group box a side
// with its address box, its Nara channel address grid and its physical to
// logical channel grid (side B shown only for two sides). The panel edits the
// tab's working copy of the parameter block; what the boxes and grids accept
// is decided by the side addressing core.
#pragma once

#include "field_check.h"
#include "side_addressing_core.h"

#include <cstdint>

class AddressGrid;
class QGroupBox;
class QLineEdit;
class QWidget;

class SideAddressPanel {
public:
    SideAddressPanel(QWidget* parent, uint8_t* block, FieldCheck* check);

    QGroupBox* box(int side) const { return gbSide_[side]; }
    QLineEdit* address(int side) const { return eAdrTrk_[side]; }
    AddressGrid* nara(int side) const { return sgAdrNaraTrk_[side]; }
    AddressGrid* phys(int side) const { return sgPhysToLogTrk_[side]; }

    // A read of the block: the side addresses and the Nara grids (for the
    // nozzle count item as read), then, after the count list is rebuilt, the map.
    void showAddresses(int nozzleItem, bool twoSides);
    void showMap();
    // After a change of the side count or the nozzle count (in the block):
    // the grids sized and numbered on, the address marks cleared, the Nara
    // grids checked again.
    void sidesChanged(bool twoSides);
    void nozzlesChanged();
    // Leaving a box or grid of a side: checked, marked, stored when valid.
    void addressExit(int side);
    void naraExit(int side);
    void physExit(int side);
    // On save: the grids as they stand into the block.
    void take();
    void clearSelection();

private:
    int nozzles() const;
    int sides() const;
    void size(int columns);
    void renumber();
    void setCells(AddressGrid* const (&grids)[2], const settings::Cells& a, const settings::Cells& b);
    void resetMarks(AddressGrid* const (&grids)[2]);

    uint8_t* block_;
    FieldCheck* check_;
    // Side A [0] and side B [1].
    QGroupBox* gbSide_[2];
    QLineEdit* eAdrTrk_[2];
    AddressGrid *sgAdrNaraTrk_[2], *sgPhysToLogTrk_[2];
};
