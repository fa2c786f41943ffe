// The GUI tests need one QApplication for the whole run. Without a display they use the offscreen
// platform (also when CTest lists the cases, before the test's environment applies). Their job records go
// to a temporary state folder.

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps a record of every job in the user's job log; the tests' jobs go to a folder of
    // their own, removed after the run.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
