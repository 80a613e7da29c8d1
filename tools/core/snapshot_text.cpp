#include "snapshot_text.h"

#include <algorithm>

namespace tools {

std::string SnapshotFailedQuestion(const image::Snapshot& s, bool demo) {
    std::string why;
    if (s.result == -2)
        why = "Не удалось записать снимок контроллера в папку " + image::SnapshotFolder(demo) + ".";
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

std::string SnapshotSavedText(const image::Snapshot& s) {
    return "Прежнее содержимое контроллера сохранено в файл образа\n" + s.path;
}

std::string WholeWriteResultText(const std::string& what, int failed, int blocks, bool restarted,
                                 const std::vector<std::string>& failures, const image::Snapshot& s) {
    std::string text;
    if (failed == 0)
        text = what + (restarted ? " записаны, контроллер перезапущен." : " записаны, но контроллер не перезапущен.");
    else if (failed >= blocks)
        text = what + " не записаны: ни один блок не принят.";
    else
        text = what + " записаны не полностью: не записано блоков " + std::to_string(failed) + " из " +
               std::to_string(blocks) + ".";
    std::vector<std::string> told;
    for (const std::string& f : failures)
        if (std::find(told.begin(), told.end(), f) == told.end()) {
            told.push_back(f);
            text += "\n" + f;
        }
    if (failed > 0 && !restarted) text += "\nКонтроллер не перезапущен.";
    if (s.result == 1)
        text += failed == 0 ? "\n" + SnapshotSavedText(s)
                            : "\nПрежнее содержимое восстанавливается загрузкой файла образа\n" + s.path;
    else
        text += "\nСнимка нет: прежнее содержимое восстановить нельзя.";
    return text;
}

} // namespace tools
