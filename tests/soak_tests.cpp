// A seeded random sequence of user events on the real window. After every
// event the window must be consistent: the tree's parents agree with their
// children, the result box holds the entry of the controls' current values,
// the boxes respect their limits, and the help link's caption matches its Tag.
// A failure names the seed and the event, so the run can be replayed with
// VANTOREL_SOAK_SEED; VANTOREL_SOAK_EVENTS sets the number of events.

#include "tree_invariant.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <random>

namespace {

unsigned envOr(const char* name, unsigned fallback)
{
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? fallback : v.toUInt();
}

const QString kAlphabet = QStringLiteral("abcXYZ019.:_ \t\"'+-eE\u00e9\u00df\u0416\u4e2d\\/");

struct Soak : Window {
    std::mt19937 rng;
    unsigned pick(unsigned n) { return rng() % n; }

    QString randomText(int maxLength)
    {
        QString s;
        const int n = static_cast<int>(pick(static_cast<unsigned>(maxLength) + 1));
        for (int i = 0; i < n; ++i) {
            const unsigned r = pick(40);
            s += r == 0  ? QChar(u'\n')
                : r == 1 ? QChar(u'\r')
                         : kAlphabet[pick(static_cast<unsigned>(kAlphabet.size()))];
        }
        return s;
    }

    QLineEdit* focusedBox() const { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

    void typeInto(QWidget* target, const QString& text)
    {
        for (QChar ch : text) {
            const Qt::Key key = ch == u' ' ? Qt::Key_Space : ch == u'\t' ? Qt::Key_Tab : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Press, target, key, QString(ch), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, target, key, QString(ch), Qt::NoModifier);
            if (QApplication::focusWidget() != target) // a tab moved on
                return;
        }
    }

    model::Node* randomNode() { return w->permissions().tree.item(1 + static_cast<int>(pick(97))); }

    // One random user event; returns a short description for the failure message.
    QString step()
    {
        auto* view = w->treCommands;
        auto* model = static_cast<ui::CommandTreeModel*>(view->model());
        switch (pick(16)) {
        case 0: {
            QRadioButton* options[] = {w->optDefault, w->optIP, w->optName, w->optSteamID};
            QRadioButton* o = options[pick(4)];
            QTest::mouseClick(o, Qt::LeftButton);
            return "click " + o->objectName();
        }
        case 1:
            QTest::mouseClick(w->txtID, Qt::LeftButton);
            return "click txtID";
        case 2:
            QTest::mouseClick(w->txtPassword, Qt::LeftButton);
            return "click txtPassword";
        case 3:
            if (QWidget* f = QApplication::focusWidget())
                QTest::keyClick(f, Qt::Key_Tab, pick(2) ? Qt::NoModifier : Qt::ShiftModifier);
            return "tab";
        case 4:
        case 5:
            if (QLineEdit* box = focusedBox()) {
                const QString text = randomText(pick(10) ? 12 : 150);
                typeInto(box, text);
                return "type " + text.toHtmlEscaped();
            }
            return "type into nothing";
        case 6:
            if (QLineEdit* box = focusedBox()) {
                const QString text = randomText(pick(5) ? 20 : 200);
                QApplication::clipboard()->setText(text);
                QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
                return "paste " + text.toHtmlEscaped();
            }
            return "paste into nothing";
        case 7:
            QTest::mouseClick(w->chkPassword, Qt::LeftButton);
            return "click chkPassword";
        case 8: {
            const QModelIndex i = model->indexOf(randomNode());
            view->scrollTo(i);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->checkRect(i).center());
            return "tick " + i.data().toString();
        }
        case 9:
            QTest::keyClick(view, Qt::Key_Space);
            return "space in tree";
        case 10:
            QTest::keyClick(view, pick(2) ? Qt::Key_Down : Qt::Key_Up);
            return "arrow in tree";
        case 11: {
            const QPoint at(static_cast<int>(pick(static_cast<unsigned>(view->viewport()->width()))),
                            static_cast<int>(pick(static_cast<unsigned>(view->viewport()->height()))));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            return QStringLiteral("click tree at %1,%2").arg(at.x()).arg(at.y());
        }
        case 12: {
            QPushButton* buttons[] = {w->cmdCheckAll, w->cmdUncheckAll, w->cmdDefault};
            QPushButton* b = buttons[pick(3)];
            QTest::mouseClick(b, Qt::LeftButton);
            return "click " + b->objectName();
        }
        case 13: {
            const qsizetype before = opened.size();
            QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
            EXPECT_EQ(opened.size(), before + 1);
            EXPECT_EQ(opened.back(), ui::kWikiBase + ui::helpPageName(w->lblMoreInfo->Tag()));
            return "click help link";
        }
        case 14:
            if (w->tmrPasswordSpace->isActive())
                w->tmrPasswordSpace_Timer(); // the interval elapses
            return "timer";
        default:
            view->scrollTo(model->indexOf(randomNode()));
            return "scroll tree";
        }
    }
};

} // namespace

TEST_F(Soak, RandomUserEventsKeepTheWindowConsistent)
{
    const unsigned seed = envOr("VANTOREL_SOAK_SEED", 20261206);
    const unsigned events = envOr("VANTOREL_SOAK_EVENTS", 20000);
    rng.seed(seed);
    for (unsigned i = 0; i < events; ++i) {
        const QString what = step();
        const std::string where =
            "seed " + std::to_string(seed) + " event " + std::to_string(i) + " (" + what.toStdString() + ")";
        ASSERT_EQ(nodeDisagreeingWithChildren(w->permissions().tree), "") << where;
        ASSERT_EQ(result(), expectedResult()) << where;
        const QString id = w->txtID->text();
        const QString pw = w->txtPassword->text();
        ASSERT_LE(id.size(), 64) << where;
        ASSERT_LE(pw.size(), 128) << where;
        ASSERT_FALSE(id.contains(u'\n') || id.contains(u'\r') || pw.contains(u'\n') || pw.contains(u'\r')) << where;
        ASSERT_FALSE(pw.contains(u' ')) << where;
        const QString tag = w->lblMoreInfo->Tag();
        ASSERT_EQ(w->lblMoreInfo->text(),
                  tag.isEmpty() ? QStringLiteral("Click here for more info.") : "Click here for more info on " + tag)
            << where;
        if (HasFailure())
            FAIL() << where;
    }
}
