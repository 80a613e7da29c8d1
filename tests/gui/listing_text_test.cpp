// The image listing against the tabs: with every block read into the window,
// each field the listing names shows the same text as the control that shows
// its bytes. Fields that only a choice's item text, a check list or a radio
// group shows are named below; any other field must have a control to compare.
#include "block_fields.h"
#include "block_layout.h"
#include "channel_fields.h"
#include "checksum.h"
#include "controller_fields.h"
#include "gui_rig.h"
#include "little_endian.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

#include <optional>
#include <set>

namespace {

class ListingText : public GuiRig {
protected:
    zelsim::VirtualController* c = nullptr;

    void SetUp() override {
        GuiRig::SetUp();
        c = &line.addController(1);
        // Values whose texts differ from their stored bytes.
        std::vector<uint8_t> p = c->peek(0, CtrlrParams.address, CtrlrParams.length);
        p[ctrlrparams::SlowStart.offset] = 2;
        p[ctrlrparams::Speed2.offset] = 1;
        p[ctrlrparams::MeterType.offset] = 255;
        p[ctrlrparams::MeterPhase.offset] = 2;
        p[ctrlrparams::NozzleWait.offset] = 7;
        p[ctrlrparams::TempHeatLow.offset] = 0xFB;
        p[ctrlrparams::MinSpeed.offset] = 12;
        p[ctrlrparams::MinSpTime.offset] = 20;
        p[ctrlrparams::HydroHit.offset] = 7;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c->poke(0, CtrlrParams.address, p);

        std::vector<uint8_t> s = c->peek(0, NozSetts.address, NozSetts.length);
        fields::PutField(nozsetts::ImpLit, s.data(), 512);
        fields::PutField(nozsetts::MeterPhase, s.data(), 1);
        fields::PutField(nozsetts::CountKor, s.data(), 9);
        c->poke(0, NozSetts.address, s);

        std::vector<uint8_t> r = c->peek(0, NozRegs.address, NozRegs.length);
        fields::PutField(nozregs::State, r.data(), 5);
        fields::PutField(nozregs::BitStat, r.data(), 0x1088);
        fields::PutField(nozregs::SetVol, r.data(), 123456);
        fields::PutField(nozregs::LoadVolLo, r.data(), 0x1234);
        fields::PutField(nozregs::VolStart, r.data(), 300);
        fields::PutField(nozregs::VolEnd, r.data(), 150);
        fields::PutField(nozregs::FCMil, r.data(), 7);
        c->poke(0, NozRegs.address, r);

        std::vector<uint8_t> a(SidesSetts.length, 0), b(SidesSetts.length, 0);
        fields::PutField(sidessetts::ActiveNoz, a.data(), 2);
        fields::PutField(sidessetts::SideCountKor, a.data(), 17);
        a[3] = 3, a[4] = 11, a[5] = 24;
        fields::PutField(sidessetts::CountTranz, a.data(), 123456);
        fields::PutField(sidessetts::CountTranz, b.data(), 5);
        c->poke(0, SideAddress(0), a);
        c->poke(0, SideAddress(1), b);

        std::vector<uint8_t> n = c->peek(0, NaraSpecific.address, NaraSpecific.length);
        for (int k = 0; k < naraspecific::BmuPUser.count; ++k)
            fields::PutField(naraspecific::BmuPUser, n.data(), 1000u + static_cast<uint32_t>(k), k);
        fields::PutField(naraspecific::BmuPAdm, n.data(), 4294967295u);
        fields::PutField(naraspecific::ShimDuration, n.data(), 5);
        fields::PutField(naraspecific::MinVolNara, n.data(), 100);
        fields::PutField(naraspecific::ValveDelay, n.data(), 3);
        fields::PutField(naraspecific::PrcShift, n.data(), 2);
        fields::PutField(naraspecific::UpgrCountNara, n.data(), 12);
        c->poke(0, NaraSpecific.address, n);

        startLine();
        start(QString("1"));
        ASSERT_TRUE(state.Identified);
        for (const char* page : {"TabCtrlrSetts", "TabAdvSet", "TabNozzRegs", "TabNozSetts", "TabRegsSides"})
            showPage(page);
    }
    void showPage(const char* name) {
        auto* tabs = ctl<QTabWidget>("TabSetts");
        tabs->setTabVisible(tabs->indexOf(ctl(name)), true);
        tabs->setCurrentWidget(ctl(name));
    }
    QString cell(const char* grid, int column) const {
        auto* t = ctl<QTableWidget>(grid);
        if (column >= t->columnCount()) return "(no cell)";
        return t->item(t->rowCount() - 1, column)->text();
    }

    // The text of the control showing the field, or nothing when no control
    // shows it as text.
    std::optional<QString> shown(const std::string& group, int index, const std::string& name,
                                 const std::vector<fields::Table>& tables) const {
        const int nozzles =
            c->peek(0, CtrlrParams.address, CtrlrParams.length)[ctrlrparams::NozzlesPerSide.offset];
        const auto element = [&](const char* base) -> int {
            const std::string prefix = std::string(base) + "[";
            return name.rfind(prefix, 0) == 0 ? std::stoi(name.substr(prefix.size())) : -1;
        };
        if (group == "CtrlrParams") {
            if (name == "SlowStart") return ctl<QLineEdit>("eSlowStart")->text();
            if (name == "AddrSideA") return ctl<QLineEdit>("eAdrTrk_1")->text();
            if (name == "AddrSideB") return ctl<QLineEdit>("eAdrTrk_2")->text();
            if (name == "NozzlesPerSide") return ctl<QComboBox>("cbCountNozTrk")->currentText();
            if (name == "SideCount") return ctl<QComboBox>("cbCountSideTrk")->currentText();
            if (const int i = element("NaraAddr"); i >= 0) {
                if (i < nozzles) return cell("sgAdrNaraTrk_1", i);
                if (i < 2 * nozzles) return cell("sgAdrNaraTrk_2", i - nozzles);
                return std::nullopt; // beyond the nozzles of side B
            }
            if (const int j = element("PhysToLogA"); j >= 0)
                return j < nozzles ? std::optional(cell("sgPhysToLogTrk_1", j)) : std::nullopt;
            if (const int j = element("PhysToLogB"); j >= 0)
                return j < nozzles ? std::optional(cell("sgPhysToLogTrk_2", j)) : std::nullopt;
        }
        if (group == "NozSetts" && name == "ImpLit") return ctl<QComboBox>("eImpLit")->currentText();
        if (group == "SidesSetts" && name == "DateLastKor")
            return ctl<QLineEdit>(index == 0 ? "maskDateLastKor_s1" : "maskDateLastKor_s2")->text();
        if (group == "NaraSpecific") {
            if (const int k = element("BmuPUser"); k >= 0) return ctl<QComboBox>("cbBmuPUser")->itemText(k);
        }
        for (fields::Table t : tables)
            for (const fields::Field& f : t) {
                if (f.codec == fields::Codec::None || !f.field || name != f.field) continue;
                // A choice shows its item's text; a shared byte or a list shows none.
                if (!f.items.empty())
                    return f.codec == fields::Codec::Choice
                               ? std::optional(ctl<QComboBox>(f.name)->currentText())
                               : std::nullopt;
                return ctl<QLineEdit>(f.name)->text();
            }
        return std::nullopt;
    }
};

} // namespace

TEST_F(ListingText, EveryFieldIsListedAsItsTabShowsIt) {
    // Shown by a choice's item text, a check list, a radio group, or not at all.
    const std::set<std::string> notText = {"CtrlrParams ModeMask", "CtrlrParams ModeMask2",
                                           "CtrlrParams DisplayTypes", "CtrlrParams Checksum",
                                           "NaraSpecific NaraFlags",
                                           // The grids have a cell for each of the four nozzles a side.
                                           "CtrlrParams NaraAddr[8]", "CtrlrParams NaraAddr[9]",
                                           "CtrlrParams PhysToLogA[4]", "CtrlrParams PhysToLogB[4]"};
    struct Block {
        const char* group;
        int index;
        uint32_t address;
        int length;
        std::vector<fields::Table> tables;
    };
    const Block blocks[] = {
        {"CtrlrParams",
         0,
         CtrlrParams.address,
         CtrlrParams.length,
         {settings::CtrlrSettsFields(), settings::AdvParamsFields()}},
        {"NozSetts", 0, NozSetts.address, NozSetts.length, {settings::NozSettsFields()}},
        {"NozRegs", 0, NozRegs.address, NozRegs.length, {settings::NozRegsFields()}},
        {"SidesSetts", 0, SideAddress(0), SidesSetts.length, {settings::SideFields(0)}},
        {"SidesSetts", 1, SideAddress(1), SidesSetts.length, {settings::SideFields(1)}},
        {"NaraSpecific", 0, NaraSpecific.address, NaraSpecific.length, {settings::NaraFields()}},
    };
    int compared = 0;
    for (const Block& b : blocks) {
        const std::vector<uint8_t> bytes = c->peek(0, b.address, static_cast<size_t>(b.length));
        for (const image::FieldValue& v : image::DecodeBlock(b.group, bytes.data(), b.length)) {
            if (v.name.empty()) continue;
            SCOPED_TRACE(image::BlockName(b.group, b.index) + " " + v.name);
            const std::optional<QString> text = shown(b.group, b.index, v.name, b.tables);
            const bool expectText = !notText.count(std::string(b.group) + " " + v.name);
            if (!text) {
                EXPECT_FALSE(expectText) << "a field no control shows as text";
                continue;
            }
            EXPECT_EQ(text->toStdString(), v.text);
            ++compared;
        }
    }
    // Every number box, grid cell, number list and choice of the five tabs.
    EXPECT_EQ(compared, 31 + 8 + 19 + 2 * 4 + 12 + 4);
}
