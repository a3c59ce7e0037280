// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/helpwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHash>
#include <QEvent>
#include <QImage>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QScreen>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>
#include <QUrl>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

QPointer<HelpWindow> helpInstance;

// Where the guide begins the part for teachers; the help ends just before it.
constexpr QStringView teachersHeading = u"## Для преподавателей";

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(u"ORB — справка"_s);
    // The help never keeps the program running once the editor has closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    contents_ = new QTreeWidget;
    contents_->setObjectName(u"contentsTree"_s);
    contents_->setHeaderHidden(true);
    contents_->setColumnCount(1);

    browser_ = new QTextBrowser;
    browser_->setObjectName(u"helpBrowser"_s);
    // Links are followed by followLink: the document has no source URL for the browser's own
    // resolution, and web addresses belong in the desktop's browser.
    browser_->setOpenLinks(false);
    // The guide's pictures sit beside it, compiled in under the same folder.
    browser_->setSearchPaths({u":/docs"_s});
    browser_->setMarkdown(studentGuide());
    markHeadings();
    // Screenshots are shown at their own size, or narrower to fit the view.
    browser_->viewport()->installEventFilter(this);

    search_ = new QLineEdit;
    search_->setObjectName(u"searchField"_s);
    search_->setPlaceholderText(u"Поиск по справке (Enter — следующее совпадение)"_s);
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textEdited, this, [this] { find(search_->text(), true); });
    connect(search_, &QLineEdit::returnPressed, this, [this] { find(search_->text(), false); });
    auto *findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 740});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(4);
    // Any size will do: the text reflows and the contents scroll. (The layout's default
    // would also pin a minimum size on the window.)
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(search_);
    layout->addWidget(splitter, 1);
    resize(1000, 720);

    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    connect(contents_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { openAnchor(item->data(0, Qt::UserRole).toString()); });
    connect(contents_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { openAnchor(item->data(0, Qt::UserRole).toString()); });
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

HelpWindow::~HelpWindow() = default;

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == browser_->viewport() && event->type() == QEvent::Resize)
        fitPictures(browser_->viewport()->width() - 24);
    return QWidget::eventFilter(watched, event);
}

void HelpWindow::fitPictures(int width)
{
    if (width <= 0 || width == fittedWidth_)
        return;
    fittedWidth_ = width;
    QTextDocument *document = browser_->document();
    // Collected first: changing a format splits and merges the fragments being walked.
    struct Picture {
        int position;
        int length;
        QTextImageFormat format;
    };
    QList<Picture> pictures;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat())
                pictures.append({fragment.position(), fragment.length(),
                                 fragment.charFormat().toImageFormat()});
        }
    }
    for (Picture &picture : pictures) {
        const QImage image(u":/docs/"_s + picture.format.name());
        if (image.isNull())
            continue;
        const int shown = qMin(image.width(), width);
        picture.format.setWidth(shown);
        picture.format.setHeight(qreal(image.height()) * shown / image.width());
        QTextCursor cursor(document);
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
}

HelpWindow *HelpWindow::instance()
{
    return helpInstance;
}

HelpWindow *HelpWindow::showHelp()
{
    if (!helpInstance) {
        helpInstance = new HelpWindow;
        // A window without a parent outlives every other one; it goes with the event loop.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] { delete helpInstance; });
    }
    // A window being shown comes up on top by itself; one already open is brought forward.
    if (helpInstance->isVisible()) {
        helpInstance->raise();
    } else {
        // Wholly on the screen of the window that asked, however small the screen. The frame
        // is known once the window is shown; until the window manager has framed it, a title
        // bar and thin borders are allowed for.
        const QWidget *asking = QApplication::activeWindow();
        const QPoint start = asking ? asking->frameGeometry().topLeft() : QPoint();
        helpInstance->show();
        if (const QScreen *screen = asking ? asking->screen() : QGuiApplication::primaryScreen()) {
            QSize margins = helpInstance->frameGeometry().size() - helpInstance->size();
            if (margins.isNull())
                margins = QSize(8, 40);
            const QRect fitted =
                fitOnScreen(QRect(start, QSize(1000, 720) + margins), screen->availableGeometry());
            helpInstance->resize(fitted.size() - margins);
            helpInstance->move(fitted.topLeft());
        }
    }
    helpInstance->activateWindow();
    return helpInstance;
}

QRect HelpWindow::fitOnScreen(const QRect &frame, const QRect &available)
{
    const QSize size = frame.size().boundedTo(available.size());
    const int x = qBound(available.left(), frame.left(), available.right() + 1 - size.width());
    const int y = qBound(available.top(), frame.top(), available.bottom() + 1 - size.height());
    return QRect(QPoint(x, y), size);
}

bool HelpWindow::find(const QString &text, bool fromStart)
{
    QTextCursor cursor = browser_->textCursor();
    if (text.isEmpty()) {
        cursor.clearSelection();
        browser_->setTextCursor(cursor);
        return false;
    }
    // Typing searches again from the start of the current match; Enter goes to the next one,
    // and past the last match round to the first.
    if (fromStart)
        cursor.setPosition(cursor.selectionStart());
    QTextCursor found = browser_->document()->find(text, cursor);
    if (found.isNull())
        found = browser_->document()->find(text, 0);
    if (found.isNull()) {
        search_->setStyleSheet(u"QLineEdit { background-color: rgb(250, 215, 215); }"_s);
        return false;
    }
    search_->setStyleSheet(QString());
    browser_->setTextCursor(found);
    browser_->ensureCursorVisible();
    return true;
}

QKeySequence HelpWindow::helpKey()
{
    return QKeySequence(Qt::Key_F1);
}

void HelpWindow::installShortcut(QWidget *window)
{
    auto *shortcut = new QShortcut(helpKey(), window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, [] { showHelp(); });
}

QString HelpWindow::studentGuide()
{
    QFile file(u":/docs/guide.ru.md"_s);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString guide = QString::fromUtf8(file.readAll());
    qsizetype end = 0;
    // The teachers' heading at the start of a line, never inside a longer heading.
    while ((end = guide.indexOf(teachersHeading, end)) >= 0) {
        const qsizetype after = end + teachersHeading.size();
        const bool lineStart = end == 0 || guide[end - 1] == u'\n';
        const bool lineEnd =
            after == guide.size() || guide[after] == u'\n' || guide[after] == u'\r';
        if (lineStart && lineEnd)
            return guide.left(end);
        end = after;
    }
    return guide;
}

QString HelpWindow::headingAnchor(const QString &heading)
{
    QString anchor;
    anchor.reserve(heading.size());
    for (const QChar c : heading.trimmed().toLower()) {
        if (c.isLetterOrNumber() || c == u'-' || c == u'_')
            anchor += c;
        else if (c == u' ')
            anchor += u'-';
    }
    return anchor;
}

void HelpWindow::markHeadings()
{
    QTextDocument *document = browser_->document();
    QHash<QString, int> seen;
    std::vector<QTreeWidgetItem *> parents; // the latest item of each level above
    std::vector<int> parentLevels;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 0)
            continue;
        const QString text = block.text();
        QString anchor = headingAnchor(text);
        const int count = seen.value(anchor, 0);
        seen.insert(anchor, count + 1);
        if (count > 0)
            anchor += u'-' + QString::number(count);
        anchors_ << anchor;

        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setAnchor(true);
        format.setAnchorNames({anchor});
        cursor.mergeCharFormat(format);

        while (!parentLevels.empty() && parentLevels.back() >= level) {
            parentLevels.pop_back();
            parents.pop_back();
        }
        auto *item =
            parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
        item->setText(0, text);
        item->setData(0, Qt::UserRole, anchor);
        parents.push_back(item);
        parentLevels.push_back(level);
    }
    contents_->expandAll();
}

bool HelpWindow::openAnchor(const QString &anchor)
{
    if (anchor.isEmpty() || !anchors_.contains(anchor))
        return false;
    browser_->scrollToAnchor(anchor);
    return true;
}

void HelpWindow::followLink(const QUrl &url)
{
    if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
        openAnchor(url.fragment(QUrl::FullyDecoded));
        return;
    }
    if (url.scheme() == u"https"_s || url.scheme() == u"http"_s)
        QDesktopServices::openUrl(url);
}
