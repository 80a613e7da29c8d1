#include "snapshot_text.h"

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

} // namespace tools
