#pragma once

// Helpers shared by the widget tests: answering modal dialogs and rendering windows to PNG.

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace testutil {

// Waits (polling) for a modal dialog to become active, then hands it to `answer`. Call before
// the action that opens the dialog; the answer runs from the dialog's own event loop.
// Fails the running test (through QTest's failure reporting at the next check of
// `answered()`) when no dialog comes within `timeoutMs`.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget *dialog)> answer, int timeoutMs = 5000);
    bool answered() const { return *answered_; }
    QString dialogClass() const { return *className_; }

private:
    std::shared_ptr<bool> answered_;
    std::shared_ptr<QString> className_;
};

// Renders `widget` (shown or not) to ORB_PNG_DIR/<name>.png, or the build folder's png/.
// Returns the file written.
QString renderToPng(QWidget *widget, const QString &name);

// Installs a message handler that turns every Qt warning into a test failure. Call it in
// initTestCase(); QTest::failOnWarning does the same for messages issued during a test
// function, this also catches warnings from cleanup and deferred deletions.
void failOnAnyWarning();

} // namespace testutil
