#include "com_setting.h"

#include "com_ini.h"
#include "data_files.h"
#include "dialogs.h"
#include "form_builder.h"
#include "line_options.h"
#include "port_layer.h"
#include "working_state.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstdint>
#include <cstring>

namespace {

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    return c;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// Selects the item whose integer equals value; else selects `fallbackIndex`
// and returns false.
bool selectNumber(QComboBox* c, long value, int fallbackIndex) {
    for (int i = 0; i < c->count(); ++i) {
        if (c->itemText(i).toLong() == value) {
            c->setCurrentIndex(i);
            return true;
        }
    }
    c->setCurrentIndex(fallbackIndex);
    return false;
}

// Whether com.ini keeps the name: the line written with the widest values reads
// back with the same name.
bool ComIniKeeps(const std::string& name) {
    ComPortSetting s;
    s.name = name;
    s.baud = UINT32_MAX;
    s.reservedByte = s.dataBits = s.stopCode = UINT8_MAX;
    s.parity = 'N';
    const std::string line = ComIniLine(s);
    ComPortSetting back;
    return line.size() <= static_cast<size_t>(kComIniLineMax) && ParseComIniLine(line, back) &&
           back.name == name;
}

} // namespace

TComSetting::TComSetting(WorkingState& state, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), state_(state), dialogs_(dialogs) {
    setObjectName("TComSetting");
    setWindowTitle("Настройки com порта");
    setModal(true);

    auto* group = new QGroupBox("Настройки COM порта", this);
    group->setObjectName("GroupBox1");
    // The list offers the ports found; any other name (a pty path, TCPC_...,
    // STUB) can be typed in.
    cbComNumber_ = combo(group, "cbComNumber", {});
    cbComNumber_->setEditable(true);
    cbComNumber_->setInsertPolicy(QComboBox::NoInsert);
    // Two columns: the name kept in com.ini (a USB adapter's stable
    // /dev/serial/by-id name where it has one) and the short tty name beside it.
    cbComNumber_->setModel(new QStandardItemModel(0, 2, cbComNumber_));
    auto* portView = new QTreeView(cbComNumber_);
    portView->setHeaderHidden(true);
    portView->setRootIsDecorated(false);
    portView->setAllColumnsShowFocus(true);
    portView->header()->setStretchLastSection(false);
    portView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    cbComNumber_->setView(portView);
    cbPortBRate_ =
        combo(group, "cbPortBRate", {"1200", "4800", "9600", "19200", "38400", "57600", "115200", "256000"});
    cbPortDataBits_ = combo(group, "cbPortDataBits", {"7", "8"});
    cbPortParity_ = combo(group, "cbPortParity", {"None", "Event", "Odd"});
    cbPortStopBits_ = combo(group, "cbPortStopBits", {"1", "2"});
    cbEcho_ = new QCheckBox("Адаптер возвращает отправленные байты (эхо)", group);
    cbEcho_->setObjectName("cbEcho");
    cbRs485_ = new QCheckBox("RS-485 средствами порта (RTS при передаче)", group);
    cbRs485_->setObjectName("cbRs485");
    SaveParam_ = form::Button(this, "SaveParam", "Установить");

    auto* form = new QFormLayout(group);
    form->addRow(cbComNumber_);
    form->addRow(label(group, "lSpeed", "Скорость"), cbPortBRate_);
    form->addRow(label(group, "lDataBits", "Количество бит в посылке"), cbPortDataBits_);
    form->addRow(label(group, "lParity", "Четность"), cbPortParity_);
    form->addRow(label(group, "lStopBits", "Количество стоповых бит"), cbPortStopBits_);
    form->addRow(cbEcho_);
    form->addRow(cbRs485_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(SaveParam_);

    connect(SaveParam_, &QPushButton::clicked, this, &TComSetting::SaveParamClick);
}

void TComSetting::FormShow() {
    state_.portFailed = true;

    ComIniTable table;
    ReadComIni(table, ProgramFiles().comIni);
    const ComPortSetting& first = table.entries[0];
    ComPortSetting& cur = state_.portSettings;
    cur.name = first.name;
    cur.baud = first.baud;
    cur.dataBits = first.dataBits;
    cur.stopCode = first.stopCode;
    cur.parity = first.parity;
    // The reserved values travel along to the file written on apply.
    cur.reserved0 = first.reserved0;
    cur.reservedByte = first.reservedByte;
    cur.flag0 = first.flag0;
    cur.flag1 = first.flag1;

    EnumeratePorts();
    cbComNumber_->clear();
    auto* ports = static_cast<QStandardItemModel*>(cbComNumber_->model());
    for (int i = 0; i < PortList.count && i < kPortListSize; ++i) {
        const char* name = PortList.names[i];
        const QString entry =
            QString::fromLocal8Bit(name, static_cast<int>(strnlen(name, sizeof PortList.names[i])));
        if (entry == "UKEY") continue; // the USB key is no port to talk through
        const std::string& byId = PortList.info[i].byId;
        // A stable name com.ini cannot keep is not offered: it would be cut.
        if (byId.empty() || !ComIniKeeps(byId)) {
            cbComNumber_->addItem(entry);
            continue;
        }
        cbComNumber_->addItem(QString::fromStdString(byId));
        ports->setItem(cbComNumber_->count() - 1, 1, new QStandardItem(entry));
    }
    // The popup is as wide as both columns, however narrow the box.
    QAbstractItemView* portView = cbComNumber_->view();
    portView->window()->setMinimumWidth(portView->sizeHintForColumn(0) + portView->sizeHintForColumn(1) +
                                        2 * static_cast<QFrame*>(portView)->frameWidth() + 24);
    const QString curName = QString::fromStdString(cur.name);
    int match = cbComNumber_->findText(curName, Qt::MatchExactly);
    // A com.ini written before stable names (ttyUSB0, /dev/ttyUSB0) finds its port's row.
    for (int row = 0; match < 0 && row < ports->rowCount(); ++row) {
        const QStandardItem* tty = ports->item(row, 1);
        if (tty && !tty->text().isEmpty() && (tty->text() == curName || "/dev/" + tty->text() == curName))
            match = row;
    }
    if (match >= 0) {
        cbComNumber_->setCurrentIndex(match);
    } else if (!curName.isEmpty()) {
        // A TCP, pty or USB name the list does not offer stays the current
        // entry, so applying only a new speed keeps the engineer's port.
        cbComNumber_->setCurrentIndex(-1);
        cbComNumber_->setEditText(curName);
    } else {
        cur.name = "COM1";
        if (cbComNumber_->count() > 0)
            cbComNumber_->setCurrentIndex(0);
        else
            cbComNumber_->setEditText("COM1");
    }

    if (!selectNumber(cbPortBRate_, static_cast<long>(cur.baud), 1)) cur.baud = 4800;
    if (!selectNumber(cbPortDataBits_, cur.dataBits, 1)) cur.dataBits = 8;
    if (!selectNumber(cbPortStopBits_, cur.stopCode, 0)) cur.stopCode = 1;
    int parity = -1;
    for (int i = 0; i < cbPortParity_->count(); ++i)
        if (cbPortParity_->itemText(i).at(0) == QChar(cur.parity)) parity = i;
    if (parity < 0) {
        cur.parity = 'N';
        parity = 0;
    }
    cbPortParity_->setCurrentIndex(parity);

    const LineOptions options = ReadLineOptions(LineOptionsPath(ProgramFiles().comIni));
    cbEcho_->setChecked(options.echo);
    cbRs485_->setChecked(options.rs485);
}

void TComSetting::SaveParamClick() {
    ComPortSetting& cur = state_.portSettings;
    cur.baud = cbPortBRate_->currentIndex() >= 0 ? cbPortBRate_->currentText().toULong() : 4800;
    cur.dataBits = cbPortDataBits_->currentIndex() >= 0
                       ? static_cast<uint8_t>(cbPortDataBits_->currentText().toUInt())
                       : 8;
    cur.stopCode = cbPortStopBits_->currentIndex() >= 0
                       ? static_cast<uint8_t>(cbPortStopBits_->currentText().toUInt())
                       : 1;
    cur.parity = cbPortParity_->currentIndex() >= 0 ? cbPortParity_->currentText().at(0).toLatin1() : 'N';
    cur.name = cbComNumber_->currentText().trimmed().left(kComNameMax).toStdString();

    int handle = 0;
    if (PortOpen(&handle, cur.name.c_str()) != 0) {
        dialogs_.error("Ошибка открытия порта");
        state_.portFailed = true;
        return;
    }
    state_.portHandle = handle;
    U_xxx(handle, cur.baud, cur.dataBits, cur.parity, cur.stopCode);
    LineOptions options;
    options.echo = cbEcho_->isChecked();
    options.rs485 = cbRs485_->isChecked();
    if (ApplyLineOptions(handle, options) != 0) {
        // The port works on without it; the box stays as the engineer set it.
        dialogs_.message("Порт не поддерживает режим RS-485 средствами порта", QString(),
                         Dialogs::Icon::Warning);
    }
    emit portOpened();
    state_.portFailed = false;
    if (WriteComIni(cur, ProgramFiles().comIni) != 1) dialogs_.error("Ошибка записи com.ini");
    if (WriteLineOptions(options, LineOptionsPath(ProgramFiles().comIni)) != 1)
        dialogs_.error("Ошибка записи line.ini");
    accept();
}
