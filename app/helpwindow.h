#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The help window: the students' part of the Russian user guide, shown beside the editor or
// the execution window and opened from either by F1. The guide is compiled in as Markdown
// (the very file the repository shows) and rendered by QTextBrowser. Qt's Markdown reader
// gives headings no anchors, so the window gives every heading block the anchor a repository
// viewer would give it, builds the table of contents from the same blocks and follows the
// guide's links between its sections itself.

#include <QString>
#include <QStringList>
#include <QWidget>

class QKeySequence;
class QLineEdit;
class QRect;
class QTextBrowser;
class QTreeWidget;
class QUrl;

class HelpWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    explicit HelpWindow(QWidget *parent = nullptr);
    ~HelpWindow() override;

    // The one help window of the program, created on first use, shown and brought forward.
    static HelpWindow *showHelp();
    // The help window if it exists.
    static HelpWindow *instance();
    // Makes F1 on `window` (and the windows it owns) open the help.
    static void installShortcut(QWidget *window);
    static QKeySequence helpKey();

    // The guide from its start up to the teachers' part, in Markdown.
    static QString studentGuide();
    // The anchor a repository viewer derives from a heading: lower case, letters, digits,
    // blanks and hyphens kept, blanks turned into hyphens.
    static QString headingAnchor(const QString &heading);

    // Where a window's frame goes so that it is wholly inside the available screen area: its
    // place kept where it fits, moved in where it does not, shrunk to the area at most.
    static QRect fitOnScreen(const QRect &frame, const QRect &available);
    // Selects the next match of text in the guide (from the current match's start with
    // fromStart, else after it), round to the first; false when there is none.
    bool find(const QString &text, bool fromStart = false);

    QTextBrowser *browser() const { return browser_; }
    QLineEdit *searchField() const { return search_; }
    QTreeWidget *contents() const { return contents_; }
    // The heading anchors in document order (a repeated heading gets -1, -2, … as a viewer
    // numbers it).
    QStringList anchors() const { return anchors_; }
    // Scrolls the heading with this anchor to the top; false, changing nothing, when no
    // heading has it.
    bool openAnchor(const QString &anchor);
    // What a click on a link of the guide does: a section anchor scrolls there, a web address
    // opens in the browser, anything else is ignored.
    void followLink(const QUrl &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void markHeadings();
    // Scales the pictures wider than `width` down to it, keeping their proportions.
    void fitPictures(int width);

    QTextBrowser *browser_ = nullptr;
    QTreeWidget *contents_ = nullptr;
    QLineEdit *search_ = nullptr;
    QStringList anchors_;
    int fittedWidth_ = 0;
};
