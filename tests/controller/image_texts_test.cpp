// What the main tab says about image files and their transfers, case by case.
#include "image_core.h"
#include "image_files.h"
#include "image_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

image::ImageFile Refused(image::FileCheck check, int header = 1, bool notRegular = false) {
    image::ImageFile f;
    f.check = check;
    f.header = header;
    f.notRegular = notRegular;
    f.length = 40;
    f.expected = 1234;
    return f;
}

} // namespace

TEST(ImageTexts, EveryRefusedFileIsNamedWithItsReason) {
    using image::FileCheck;
    const std::pair<image::ImageFile, std::string> cases[] = {
        {Refused(FileCheck::Ok), ""},
        {Refused(FileCheck::Refused, -3), "Не удалось открыть файл «a.bin». Образ не записан"},
        {Refused(FileCheck::Refused, -3, true), "«a.bin» не является обычным файлом. Образ не записан"},
        {Refused(FileCheck::Refused, -2),
         "Файл «a.bin» не является образом контроллера: он короче 7-байтового заголовка. Образ не записан"},
        {Refused(FileCheck::Refused, -1),
         "Файл «a.bin» не принят: в его заголовке размер h0, h3, h5 или h6 равен 0. Образ не записан"},
        {Refused(FileCheck::Unreadable), "Ошибка чения файла"},
        {Refused(FileCheck::TooLong),
         "Файл «a.bin» больше 18432 байт: это не образ контроллера. Образ не записан"},
        {Refused(FileCheck::TooShort),
         "Файл «a.bin» короче, чем указано в его заголовке (40 байт вместо 1234). Образ не записан"},
        {Refused(FileCheck::BadSizes),
         "Заголовок файла «a.bin» содержит недопустимые размеры блоков. Образ не записан"},
    };
    static_assert(image::kImageBufferSize == 18432);
    for (const auto& [file, text] : cases)
        EXPECT_EQ(image::LoadRefusalText(file, "a.bin"), text) << static_cast<int>(file.check);
}

TEST(ImageTexts, SaveResultsGoToABoxOrTheStatusLine) {
    const struct {
        int result;
        const char* text;
        bool error;
    } cases[] = {
        {1, "Образ контроллера успешно сохранен", false},
        {-1, "Ошибка чтения образа из контроллера, файл не записан", false},
        {-2, "Ошибка чтения образа из контроллера, файл не записан", false},
        {-4, "Ошибка чтения образа из контроллера, файл не записан", false},
        {-3, "Не удалось записать файл «/x/c.bin»", true},
        {-5, "Файл «/x/c.bin» доступен только для чтения: он оставлен как был", true},
        {-6, "«/x/c.bin» не является обычным файлом: образ не сохранен", true},
    };
    for (const auto& c : cases) {
        const image::ResultText r = image::SaveResultText(c.result, "/x/c.bin");
        EXPECT_EQ(r.text, c.text) << c.result;
        EXPECT_EQ(r.error, c.error) << c.result;
    }
    EXPECT_EQ(image::PlanFailureText(-1),
              "Образ не записан: не удалось считать размеры блоков контроллера или они "
              "не подходят для записи образа.");
    EXPECT_EQ(image::PlanFailureText(-2), "Образ не записан: не удалось считать параметры контроллера.");
}

TEST(ImageTexts, TheLoadsBarFollowsItsStages) {
    using image::WholeStage;
    const long measure = 1010, step = 10;
    const struct {
        WholeStage stage;
        long done, total;
        const char* text;
        bool restart;
        long maximum, position;
    } cases[] = {
        // The snapshot: the bar takes the image's length once it is known.
        {WholeStage::Snapshot, 0, 0, nullptr, false, 0, 0},
        {WholeStage::Snapshot, 300, 6000, nullptr, false, 6000, 300},
        // The writes: the controller's bytes scaled onto the image's part of the bar.
        {WholeStage::Write, 0, 2000, "Подождите, идет процесс сохранения данных в контроллер", true, 1010, 0},
        {WholeStage::Write, 1000, 2000, "Подождите, идет процесс сохранения данных в контроллер", true, 1010,
         500},
        {WholeStage::Write, 2000, 2000, "Подождите, идет процесс сохранения данных в контроллер", true, 1010,
         1000},
        {WholeStage::Write, 5, 0, "Подождите, идет процесс сохранения данных в контроллер", true, 1010, 0},
        {WholeStage::Verify, 40, 800, "Подождите, идет проверка записанного", true, 800, 40},
        // The restart and the search leave the bar alone.
        {WholeStage::Restart, 0, 0, "Подождите, идет перезапуск контроллера", false, 0, -1},
        {WholeStage::Find, 0, 0, "Подождите, идет перезапуск контроллера", false, 0, -1},
    };
    for (const auto& c : cases) {
        const image::StageView v = image::LoadStageView(c.stage, c.done, c.total, measure, step);
        const int at = static_cast<int>(&c - cases);
        EXPECT_STREQ(v.text, c.text) << at;
        EXPECT_EQ(v.restart, c.restart) << at;
        EXPECT_EQ(v.maximum, c.maximum) << at;
        EXPECT_EQ(v.position, c.position) << at;
    }
}
