#include "guarded_write_text.h"

#include <algorithm>

namespace image {

namespace {

// A controller that kept nothing differs in every field: the message names
// the first ones and counts the rest.
constexpr size_t kShownDifferences = 12;

std::string Sides(const uint8_t s[2]) {
    return "А - " + std::to_string(s[0]) + ", Б - " + std::to_string(s[1]);
}

} // namespace

const WholeWriteWords kImageWords{"Образ записан в контроллер", "Образ не записан",
                                  "Образ записан не полностью"};
const WholeWriteWords kDefaultsWords{"Заводские установки записаны", "Заводские установки не записаны",
                                     "Заводские установки записаны не полностью"};
const WholeWriteWords kPrimaryWords{"Первичные настройки записаны", "Первичные настройки не записаны",
                                    "Первичные настройки записаны не полностью"};

const char* const kCloneKeep = "Оставить адреса контроллера";
const char* const kCloneTake = "Взять адреса из образа";
const char* const kCloneCancel = "Отмена";

std::string SnapshotFailedQuestion(const Snapshot& s, bool demo) {
    std::string why;
    if (s.result == -2)
        why = "Не удалось записать снимок контроллера в папку " + SnapshotFolder(demo) + ".";
    else if (s.result == -3)
        why = "Считанное из контроллера для снимка не прошло проверку (размеры блоков или контрольная сумма "
              "параметров): снимок не сохранен.";
    else if (demo)
        why = "Не удалось прочитать файл демонстрационного образа для снимка.";
    else
        why = "Не удалось считать контроллер целиком для снимка перед записью.";
    return why + "\nБез снимка прежние настройки и фискальные счетчики восстановить будет нельзя."
                 "\nЗаписать без снимка?";
}

std::string SnapshotSavedText(const Snapshot& s) {
    return "Прежнее содержимое контроллера сохранено в файл образа\n" + s.path;
}

std::string WholeWriteResultText(const WholeWriteWords& words, const WholeWriteResult& r) {
    const int blocks = static_cast<int>(r.blocks.size());
    const int failed = r.failed();
    const int differing = r.differing();
    std::string text;
    if (failed >= blocks)
        text = std::string(words.notWritten) + ": ни один блок не принят.";
    else if (failed > 0)
        text = std::string(words.partly) + ": не записано блоков " + std::to_string(failed) + " из " +
               std::to_string(blocks) + ".";
    else if (differing > 0)
        text = std::string(words.partly) +
               ": контроллер хранит не то, что в него записано (блоков с отличиями " +
               std::to_string(differing) + " из " + std::to_string(blocks) + ").";
    else if (r.restart == 1)
        text = std::string(words.written) + ", контроллер перезапущен.";
    else
        text = std::string(words.written) + ", но контроллер не подтвердил перезапуск.";

    for (const std::string& f : r.failures())
        text += "\n" + f;
    for (const WholeBlockResult& b : r.blocks)
        if (!b.written && b.failure.empty()) text += "\nНе принят блок " + b.name + ".";

    if (r.verified && failed < blocks) {
        if (differing == 0) {
            text += "\nЗаписанное прочитано из контроллера и совпадает.";
        } else {
            text += "\nПрочитано из контроллера после записи (записано → считано):";
            size_t shown = 0, more = 0;
            for (const WholeBlockResult& b : r.blocks) {
                if (b.check == WholeBlockResult::Check::Unread) {
                    if (shown++ < kShownDifferences)
                        text += "\n" + b.name + ": не удалось считать для проверки";
                    else
                        ++more;
                }
                if (b.check != WholeBlockResult::Check::Differs) continue;
                for (const Difference& d : b.differences) {
                    if (shown++ < kShownDifferences)
                        text += "\n" + DifferenceLine(d);
                    else
                        ++more;
                }
            }
            if (more > 0) text += "\n… и еще отличий: " + std::to_string(more);
        }
    }

    if (r.restart == 0)
        text += "\nКонтроллер не перезапущен.";
    else if (r.restart != 1 && (failed > 0 || differing > 0))
        text += "\nПерезапуск контроллера не подтвержден.";
    if (r.foundAt < 0) {
        text += "\nПосле перезапуска контроллер не отвечает по адресу " + std::to_string(r.newAddress);
        if (r.oldAddress != r.newAddress) text += " и по прежнему адресу " + std::to_string(r.oldAddress);
        text += ".";
    } else if (r.moved()) {
        text += "\nКонтроллер отвечает по адресу " + std::to_string(r.foundAt) + ".";
    }

    if (r.snapshotTaken)
        text += r.ok() ? "\n" + SnapshotSavedText(r.snapshot)
                       : "\nПрежнее содержимое восстанавливается загрузкой файла образа\n" + r.snapshot.path;
    else
        text += "\nСнимка нет: прежнее содержимое восстановить нельзя.";
    return text;
}

std::string CloneAddressQuestion(const ImageLoadPlan& plan) {
    return "Адреса сторон в образе (" + Sides(plan.imageSides) +
           ") не совпадают с адресами этого контроллера (" + Sides(plan.targetSides) +
           ").\nОставить адреса контроллера или взять адреса из образа? С адресами из образа контроллер "
           "после перезапуска будет отвечать по адресу " +
           std::to_string(plan.imageSides[0]) + ".";
}

} // namespace image
