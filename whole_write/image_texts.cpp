#include "image_texts.h"

#include "image_core.h"

namespace image {

std::string LoadRefusalText(const ImageFile& file, const std::string& name) {
    const std::string quoted = "«" + name + "»";
    switch (file.check) {
    case FileCheck::Ok:
        return std::string();
    case FileCheck::Refused:
        if (file.header == -3)
            return file.notRegular ? quoted + " не является обычным файлом. Образ не записан"
                                   : "Не удалось открыть файл " + quoted + ". Образ не записан";
        if (file.header == -2)
            return "Файл " + quoted +
                   " не является образом контроллера: он короче 7-байтового заголовка. Образ не записан";
        return "Файл " + quoted +
               " не принят: в его заголовке размер h0, h3, h5 или h6 равен 0. Образ не записан";
    case FileCheck::Unreadable:
        return "Ошибка чения файла";
    case FileCheck::TooLong:
        return "Файл " + quoted + " больше " + std::to_string(kImageBufferSize) +
               " байт: это не образ контроллера. Образ не записан";
    case FileCheck::TooShort:
        return "Файл " + quoted + " короче, чем указано в его заголовке (" + std::to_string(file.length) +
               " байт вместо " + std::to_string(file.expected) + "). Образ не записан";
    case FileCheck::BadSizes:
        return "Заголовок файла " + quoted + " содержит недопустимые размеры блоков. Образ не записан";
    }
    return std::string();
}

ResultText SaveResultText(int result, const std::string& path) {
    const std::string quoted = "«" + path + "»";
    switch (result) {
    case 1:
        return {"Образ контроллера успешно сохранен", false};
    case -3:
        return {"Не удалось записать файл " + quoted, true};
    case -5:
        return {"Файл " + quoted + " доступен только для чтения: он оставлен как был", true};
    case -6:
        return {quoted + " не является обычным файлом: образ не сохранен", true};
    default:
        // The file as it was (or no file): the blocks read so far are dropped.
        return {"Ошибка чтения образа из контроллера, файл не записан", false};
    }
}

std::string PlanFailureText(int result) {
    return result == -1
               ? "Образ не записан: не удалось считать размеры блоков контроллера или они не подходят "
                 "для записи образа."
               : "Образ не записан: не удалось считать параметры контроллера.";
}

StageView LoadStageView(WholeStage stage, long done, long total, long measure, long step) {
    switch (stage) {
    case WholeStage::Snapshot:
        return {nullptr, false, total, done};
    case WholeStage::Write:
        // The bar counts the image's bytes; the blocks go out with the controller's sizes.
        return {"Подождите, идет процесс сохранения данных в контроллер", true, measure,
                total > 0 ? done * (measure - step) / total : 0};
    case WholeStage::Verify:
        return {"Подождите, идет проверка записанного", true, total, done};
    case WholeStage::Restart:
    case WholeStage::Find:
        break;
    }
    return {"Подождите, идет перезапуск контроллера", false, 0, -1};
}

} // namespace image
