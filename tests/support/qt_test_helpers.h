// What every Qt test needs: the one application object, small file helpers,
// the source folder and a wait that keeps the event loop running.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "gui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

inline void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string SourceDir() {
    const char* s = std::getenv("ZEL_SOURCE_DIR");
    return s ? s : ".";
}

// Runs the event loop until the condition holds or the bound passes.
inline bool WaitFor(const std::function<bool()>& condition, int boundMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > boundMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
