#include "view_param_form.h"

#include "dialogs.h"
#include "form_builder.h"
#include "frame.h"
#include "protocol_state.h"
#include "snapshot.h"
#include "working_state.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

using namespace tools;

namespace {

constexpr int kPrintResolution = 600; // dots per inch: the bands of 113 dots suit the default font

} // namespace

bool PrintReportLines(const QStringList& lines, QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const int width = painter.device()->width();
    const int height = painter.device()->height();
    const std::vector<PrintedLine> places = PlacePrintedLines(static_cast<int>(lines.size()), height);
    const auto [from, to] = PrintedPages(
        places, printer.printRange() == QPrinter::PageRange ? printer.fromPage() : 0, printer.toPage());
    // A heading's leading tab moves it in by the width of eight blanks.
    const int indent = 8 * painter.fontMetrics().horizontalAdvance(QLatin1Char(' '));
    int lastPage = -1;
    for (int i = 0; i < static_cast<int>(places.size()); ++i) {
        const int page = places[i].page + 1;
        if (page < from || page > to) continue;
        if (lastPage >= 0 && page != lastPage) printer.newPage();
        lastPage = page;
        const QRect band(kPrintMargin, places[i].top, width - 2 * kPrintMargin, kPrintLineHeight);
        const int tabs = LeadingTabs(lines[i].toStdString());
        const QString text = lines[i].mid(tabs);
        painter.save();
        painter.setClipRect(band);
        painter.drawText(band.adjusted(tabs * indent, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        painter.restore();
    }
    return painter.end();
}

TformViewParam::TformViewParam(const TabContext& context, QWidget* parent)
    : FormDialog(context, "TformViewParam", "Параметры устройства", parent) {
    setFixedSize(640, 480);

    auto* top = new QVBoxLayout(this);
    mParam1_ = new QPlainTextEdit(this);
    mParam1_->setObjectName("mParam1");
    mParam1_->setReadOnly(true);
    mParam1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font("DejaVu Serif");
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(13);
    mParam1_->setFont(font);
    top->addWidget(mParam1_, 1);

    auto* bottom = new QHBoxLayout;
    bSaveToText_ = form::Button(this, "bSaveToText", "Печать");
    bSaveToFile_ = form::Button(this, "bSaveToFile", "Сохранить в файл");
    checkAdvanceMode_ = new QCheckBox("Расширенный режим", this);
    checkAdvanceMode_->setObjectName("checkAdvanceMode");
    bottom->addWidget(bSaveToText_);
    bottom->addWidget(bSaveToFile_);
    bottom->addStretch(1);
    bottom->addWidget(checkAdvanceMode_);
    top->addLayout(bottom);
    lSavedTo_ = new QLabel(this);
    lSavedTo_->setObjectName("lSavedTo");
    lSavedTo_->setWordWrap(true);
    lSavedTo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(lSavedTo_);

    connect(bSaveToText_, &QPushButton::clicked, this, &TformViewParam::bSaveToTextClick);
    connect(bSaveToFile_, &QPushButton::clicked, this, &TformViewParam::bSaveToFileClick);
    connect(checkAdvanceMode_, &QCheckBox::clicked, this, &TformViewParam::checkAdvanceModeClick);
}

TformViewParam::~TformViewParam() = default;

void TformViewParam::FormShow() {
    mParam1_->clear();
    lSavedTo_->clear();
    lines_.clear();
    image_ = frame_.demo() ? ReportFromDemoFile(Protocol().demoFileName)
                           : CollectReport(state_.port(), state_.ctrl());
    ShowText();
    if (const std::string problem = ReportProblem(*image_); !problem.empty())
        dialogs_.message(QString::fromStdString(problem), QString(),
                         image_->collected() && image_->paramsRead ? Dialogs::Icon::Warning
                                                                   : Dialogs::Icon::Error);
}

void TformViewParam::FormClose() {
    image_.reset();
}

void TformViewParam::ShowText() {
    lines_.clear();
    if (image_)
        for (const std::string& l : ReportText(*image_, state_.ctrl(), checkAdvanceMode_->isChecked()))
            lines_ << QString::fromStdString(l);
    mParam1_->setPlainText(lines_.join('\n'));
}

void TformViewParam::checkAdvanceModeClick() {
    mParam1_->clear();
    ShowText();
}

void TformViewParam::bSaveToTextClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setResolution(kPrintResolution);
    printer.setDocName(windowTitle());
    if (!dialogs_.choosePrinter(printer)) return;
    print(printer);
}

void TformViewParam::print(QPrinter& printer) {
    if (!PrintReportLines(lines_, printer)) {
        dialogs_.error("Не удалось начать печать на выбранном принтере.");
        return;
    }
    tellWhere(printer.outputFormat() == QPrinter::PdfFormat
                  ? "Отчет напечатан в файл " + QFileInfo(printer.outputFileName()).absoluteFilePath()
                  : "Отчет отправлен на принтер «" + printer.printerName() + "»");
}

void TformViewParam::tellWhere(const QString& text) {
    lSavedTo_->setText(text);
    frame_.setStatus(text);
}

// The report as a text file, UTF-8, one line of the memo a line.
void TformViewParam::bSaveToFileClick() {
    QString name =
        dialogs_.saveFileName("Сохранить параметры в файл", "Текстовый файл (*.txt);;Все файлы (*)");
    if (name.isEmpty()) return;
    if (QFileInfo(name).suffix().isEmpty()) name += ".txt";
    std::vector<std::string> lines;
    for (const QString& l : lines_)
        lines.push_back(l.toStdString());
    if (!image::WriteFileAtomically(QFile::encodeName(name).toStdString(), ReportFileText(lines)))
        dialogs_.error("Не удалось записать файл " + name);
    else
        tellWhere("Отчет сохранен в файл " + QFileInfo(name).absoluteFilePath());
}
