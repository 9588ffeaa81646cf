// The program's forms, its file name field and progress dialog, built on their own.

#include "filechoose.h"
#include "forms.h"
#include "modalwatcher.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "support/testfiles.h"

#include <memory>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The one of the listed forms whose class has the name.
template <class... Forms> std::unique_ptr<QWidget> makeOneOf(const QString& name)
{
    std::unique_ptr<QWidget> form;
    ((name == QLatin1String(Forms::staticMetaObject.className()) ? form.reset(new Forms) : void()),
     ...);
    return form;
}

std::unique_ptr<QWidget> makeForm(const QString& name)
{
    return makeOneOf<sereaderWidget, PortWidget, FileWidget, RawFrame, PcapFrame, Toshiba, I4b, I7,
                     LoopbackFrame, ProgressDialog, helpWidget>(name);
}

// A property as text: enumerations by their key, key sequences as written.
QString propertyText(const QObject* object, const char* name)
{
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(name);
    if (index < 0)
        return QStringLiteral("<no property %1>").arg(QLatin1String(name));
    const QMetaProperty property = meta->property(index);
    const QVariant value = property.read(object);
    if (property.isEnumType())
        return QString::fromLatin1(property.enumerator().valueToKey(value.toInt()));
    if (value.userType() == QMetaType::QKeySequence)
        return value.value<QKeySequence>().toString();
    return value.toString();
}

QString policyText(const QSizePolicy& policy)
{
    const QMetaEnum keys = QMetaEnum::fromType<QSizePolicy::Policy>();
    return QString(keys.valueToKey(policy.horizontalPolicy())) + ',' +
           keys.valueToKey(policy.verticalPolicy());
}

// One fact about an item of a form, as text. The item is a widget or layout by name, or
// "layout@index" or "layout@row,column" for the spacer at that place. The fact is its "class";
// "policy" (horizontal,vertical); "cell" in a grid (row,column, then the spans unless both are
// 1); a layout's "box" (margin,spacing, then "top" when aligned so); a spacer's "size"; or else
// the property of that name.
QString fact(const QWidget* form, const QString& item, const QString& key)
{
    auto* layout = form->findChild<QLayout*>(item.section('@', 0, 0));
    if (item.contains('@')) {
        const QStringList at = item.section('@', 1).split(',');
        auto* grid = qobject_cast<QGridLayout*>(layout);
        QLayoutItem* place = !layout ? nullptr
                             : grid  ? grid->itemAtPosition(at[0].toInt(), at.value(1).toInt())
                                     : layout->itemAt(at[0].toInt());
        const QSpacerItem* spacer = place ? place->spacerItem() : nullptr;
        if (!spacer)
            return "<no spacer>";
        const QSize size = spacer->sizeHint();
        return key == "size" ? QString("%1x%2").arg(size.width()).arg(size.height())
                             : policyText(spacer->sizePolicy());
    }
    auto* widget = form->findChild<QWidget*>(item);
    const QObject* object = layout ? static_cast<QObject*>(layout) : widget;
    if (!object)
        return "<missing>";
    if (key == "class")
        return object->metaObject()->className();
    if (key == "box" && layout) {
        const QMargins m = layout->contentsMargins();
        const int margin = m == QMargins(m.left(), m.left(), m.left(), m.left()) ? m.left() : -1;
        const QString box = QString("%1,%2").arg(margin).arg(layout->spacing());
        return layout->alignment() & Qt::AlignTop ? box + ",top" : box;
    }
    if (key == "policy" && widget)
        return policyText(widget->sizePolicy());
    if (key == "cell" && widget) {
        for (QGridLayout* grid : form->findChildren<QGridLayout*>()) {
            int row, column, rows, columns;
            if (grid->indexOf(widget) < 0)
                continue;
            grid->getItemPosition(grid->indexOf(widget), &row, &column, &rows, &columns);
            const QString cell = QString("%1,%2").arg(row).arg(column);
            return rows == 1 && columns == 1 ? cell
                                             : cell + QString(",%1,%2").arg(rows).arg(columns);
        }
        return "<not in a grid>";
    }
    return propertyText(object, key.toLatin1().constData());
}

} // namespace

class TestReceiverForms : public QObject
{
    Q_OBJECT

private slots:
    void formClasses_data();
    void formClasses();
    void items_data();
    void items();
    void mainForm();
    void windowIcon();
    void fileChoose_data();
    void fileChoose();
    void progressDialog();
};

void TestReceiverForms::formClasses_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("baseClass");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("size");

    const auto row = [](const char* form, const char* base, const char* caption, QSize size) {
        QTest::newRow(form) << QString(form) << QString(base) << QString(caption) << size;
    };
    row("sereaderWidget", "QWidget", "Vezive-V1 data receiver", {601, 443});
    row("PortWidget", "QWidget", "Form1", {341, 36});
    row("FileWidget", "QWidget", "Form1", {341, 36});
    row("RawFrame", "QWidget", "Form2", {340, 220});
    row("PcapFrame", "QWidget", "Form3", {341, 187});
    row("Toshiba", "QWidget", "Form3", {333, 187});
    row("I4b", "QWidget", "Form3", {333, 187});
    row("I7", "QWidget", "Form3", {329, 187});
    row("LoopbackFrame", "QWidget", "Form1", {308, 56});
    row("ProgressDialog", "QDialog", "Progress", {290, 107});
    row("helpWidget", "QWidget", "Help", {384, 474});
}

// Class, object name, caption and the initial size: the listed one unless the contents need more.
void TestReceiverForms::formClasses()
{
    QFETCH(QString, form);
    QFETCH(QString, baseClass);
    QFETCH(QString, caption);
    QFETCH(QSize, size);

    const std::unique_ptr<QWidget> widget = makeForm(form);
    QVERIFY2(widget, "no form class of that name");
    QCOMPARE(QString(widget->metaObject()->superClass()->className()), baseClass);
    QCOMPARE(widget->objectName(), form);
    QCOMPARE(widget->windowTitle(), caption);
    QCOMPARE(widget->size(), size.expandedTo(widget->minimumSizeHint()));
}

void TestReceiverForms::items_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("facts"); // the class first, then "fact=value"; see fact()

    const auto row = [](const char* form, const QString& item, const char* facts) {
        QTest::addRow("%s.%s", form, qPrintable(item)) << QString(form) << item << QString(facts);
    };
    const char* main = "sereaderWidget";
    const char* noFrame = "QFrame; frameShape=NoFrame; frameShadow=Plain";
    const char* spacer = "size=20x20; policy=Expanding,Minimum";
    row(main, "sereaderWidgetLayout", "QVBoxLayout; box=2,2");
    row(main, "layout5", "QHBoxLayout; box=0,6");
    row(main, "source", "QComboBox; editable=false; policy=Minimum,Fixed");
    row(main, "sourceFrame", noFrame);
    row(main, "layout10", "QHBoxLayout; box=0,6");
    row(main, "GroupBox1", "QGroupBox; title=Timeslots; policy=Fixed,Fixed");
    row(main, "GroupBox1ColumnLayout", "QVBoxLayout; box=6,2");
    row(main, "GroupBox1Layout", "QHBoxLayout; box=0,2,top");
    row(main, "TextLabel4", "QLabel; text=RX:");
    row(main, "rxTimeslot", "QSpinBox; minimum=0; maximum=31");
    row(main, "TextLabel5", "QLabel; text=Sync:");
    row(main, "syncTimeslot", "QSpinBox; minimum=0; maximum=31");
    row(main, "GroupBox3", "QGroupBox; title=Trace type");
    row(main, "GroupBox3ColumnLayout", "QVBoxLayout; box=6,0");
    row(main, "GroupBox3Layout", "QHBoxLayout; box=0,0,top");
    row(main, "dataType", "QComboBox; editable=false; policy=Minimum,Minimum");
    row(main, "dataFrame", noFrame);
    row(main, "layout7", "QHBoxLayout; box=0,6");
    row(main, "layout7@0", "size=311x24; policy=Expanding,Minimum");
    row(main, "startButton", "QPushButton; text=&Start; shortcut=Alt+S");
    row(main, "GroupBox8", "QGroupBox; title=Message log; policy=Preferred,Minimum");
    row(main, "GroupBox8ColumnLayout", "QVBoxLayout; box=6,6");
    row(main, "GroupBox8Layout", "QGridLayout; box=0,6,top");
    row(main, "GroupBox8Layout@1,0", "size=292x20; policy=Expanding,Minimum");
    row(main, "clearButton", "QPushButton; text=Clear; cell=1,1");
    row(main, "logBox",
        "QListWidget; verticalScrollBarPolicy=ScrollBarAlwaysOn; selectionMode=NoSelection; "
        "horizontalScrollBarPolicy=ScrollBarAsNeeded; count=0; cell=0,0,1,2; "
        "policy=Expanding,MinimumExpanding");

    row("PortWidget", "PortWidgetLayout", "QHBoxLayout; box=2,2");
    row("PortWidget", "portList", "QComboBox; editable=true; policy=Expanding,Fixed");
    row("PortWidget", "testButton",
        "QPushButton; text=&Test; shortcut=Alt+T; policy=Minimum,Fixed");
    row("FileWidget", "FileWidgetLayout", "QVBoxLayout; box=2,2");
    row("FileWidget", "fileChoose", "FileChoose");

    row("RawFrame", "RawFrameLayout", "QGridLayout; box=0,2");
    row("RawFrame", "TextLabel2", "QLabel; text=File name (RX):; cell=0,0");
    row("RawFrame", "TextLabel2_2", "QLabel; text=File name (Sync):; cell=1,0");
    row("RawFrame", "rxFileName", "FileChoose; cell=0,1");
    row("RawFrame", "syncFileName", "FileChoose; cell=1,1");

    row("PcapFrame", "linkTypeLabel", "QLabel; text=Link type:; cell=0,0");
    row("PcapFrame", "linkType", "QComboBox; editable=false; count=0; cell=0,1,1,3");
    row("Toshiba", "ToshibaLayout", "QGridLayout; box=0,6");
    row("Toshiba", "TextLabel6_2", "QLabel; text=File name:; cell=0,0");
    row("Toshiba", "fileName", "FileChoose; cell=0,1,1,3");
    row("Toshiba", "TextLabel1", "QLabel; text=Min. packet length:; cell=1,0,1,2");
    row("Toshiba", "minPacketLength", "QLineEdit; maxLength=5; cell=1,2");
    row("Toshiba", "ToshibaLayout@1,3", spacer);
    for (const char* form : {"PcapFrame", "I4b", "I7"}) {
        const QString layout = QString(form) + "Layout";
        row(form, layout, "QGridLayout; box=0,6");
        row(form, "TextLabel6_2", "QLabel; text=File name:; cell=1,0");
        row(form, "fileName", "FileChoose; cell=1,1,1,3");
        row(form, "TextLabel1", "QLabel; text=Min. packet length:; cell=4,0,1,2");
        row(form, "minPacketLength", "QLineEdit; maxLength=5; cell=4,2");
        row(form, layout + "@4,3", spacer);
    }
    // The Loopback panel's own wording, and no length limit.
    row("LoopbackFrame", "LoopbackFrameLayout", "QGridLayout; box=0,0");
    row("LoopbackFrame", "layout1", "QGridLayout; box=0,6");
    row("LoopbackFrame", "textLabel1", "QLabel; text=Link type; cell=0,0; policy=Fixed,Fixed");
    row("LoopbackFrame", "linkType", "QComboBox; editable=false; count=0; cell=0,1,1,2");
    row("LoopbackFrame", "textLabel1_2",
        "QLabel; text=Min. packet length; cell=1,0; policy=Fixed,Fixed");
    row("LoopbackFrame", "layout1@1,1", "size=190x20; policy=Expanding,Minimum");
    row("LoopbackFrame", "minPacketLength",
        "QLineEdit; maxLength=32767; frame=true; cell=1,2; policy=Fixed,Fixed");

    row("ProgressDialog", "ProgressDialogLayout", "QVBoxLayout; box=11,6");
    row("ProgressDialog", "statFrame", "QFrame; frameShape=NoFrame; frameShadow=Raised");
    row("ProgressDialog", "Layout3", "QHBoxLayout; box=0,0");
    row("ProgressDialog", "Layout3@0", spacer);
    row("ProgressDialog", "stopButton", "QPushButton; text=&Stop");
    row("ProgressDialog", "Layout3@2", spacer);
    row("helpWidget", "helpWidgetLayout", "QGridLayout; box=0,0");
    row("helpWidget", "homeButton", "QPushButton; text=Home; cell=0,0");
    row("helpWidget", "backButton", "QPushButton; text=Back; cell=0,1");
    row("helpWidget", "helpWidgetLayout@0,2", "size=91x20; policy=Expanding,Minimum");
    row("helpWidget", "closeButton", "QPushButton; text=Close; cell=0,3");
    row("helpWidget", "textBrowser", "KoiTextBrowser; source=; plainText=; cell=1,0,1,4");
}

void TestReceiverForms::items()
{
    QFETCH(QString, form);
    QFETCH(QString, item);
    QFETCH(QString, facts);

    const std::unique_ptr<QWidget> widget = makeForm(form);
    for (const QString& expected : facts.split("; ")) {
        const QString key = expected.contains('=') ? expected.section('=', 0, 0) : "class";
        const QString value = expected.contains('=') ? expected.section('=', 1) : expected;
        QCOMPARE(key + '=' + fact(widget.get(), item, key), key + '=' + value);
    }
}

// The main form's lists: their items in order, at the first one, also after languageChange() on a
// form whose choices were changed.
void TestReceiverForms::mainForm()
{
    sereaderWidget form;
    const auto items = [](const QComboBox* combo) {
        QStringList texts{QString::number(combo->currentIndex())};
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    };
    const QStringList sources{"0", "Port", "File"};
    const QStringList traceTypes{"0",        "Raw", "PCAP",     "Toshiba Compact ISDN Router snoop",
                                 "I4B ISDN", "I7",  "Loopback", "PCAPNG"};
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(items(form.source), sources);
        QCOMPARE(items(form.dataType), traceTypes);
        form.source->setCurrentIndex(1);
        form.dataType->setCurrentIndex(4);
        form.languageChange();
    }
}

// A 32 x 32 picture with an alpha channel: transparent corners, a blue ball in the middle.
void TestReceiverForms::windowIcon()
{
    sereaderWidget form;
    const QImage image = form.windowIcon().pixmap(32, 32).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
    const QColor centre = image.pixelColor(16, 16);
    QCOMPARE(centre.alpha(), 255);
    QVERIFY(centre.blue() > centre.red() && centre.blue() > centre.green());
}

void TestReceiverForms::fileChoose_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("start");  // the field's text before, in the temporary directory
    QTest::addColumn<QString>("choose"); // what the user picks; empty: cancels
    QTest::addColumn<QString>("after");

    const auto row = [](const char* name, int mode, const char* start, const char* choose,
                        const char* after) {
        QTest::newRow(name) << mode << QString(start) << QString(choose) << QString(after);
    };
    // A stream file without a dot in its name must be pickable.
    row("open picks a file", 0, "sub/", "capture", "capture");
    row("open cancelled", 0, "capture", "", "capture");
    row("save picks a new name", 1, "sub/old.pcap", "sub/new.pcap", "sub/new.pcap");
    row("save, a bare name gets the extension", 1, "", "sub/trace", "sub/trace.pcap");
    row("save cancelled, empty field", 1, "", "", "");
    row("no such mode: no dialog", 7, "capture", "", "capture");
}

void TestReceiverForms::fileChoose()
{
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(QString, choose);
    QFETCH(QString, after);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("sub"));
    QVERIFY(writeFile(dir.filePath("capture"), "stream"));
    const auto path = [&dir](const QString& name) {
        return name.isEmpty() ? name : dir.path() + '/' + name;
    };

    FileChoose field;
    QCOMPARE(field.mode(), int(FileChoose::Save));
    QCOMPARE(field.button()->text(), QString("..."));
    field.setMode(mode);
    field.setFileType("PCAP (*.pcap)", "pcap");
    FileChoose::setLastDirectory(dir.filePath("sub"));
    field.lineEdit()->setText(path(start));
    QStringList seen; // caption, filters, directory, accept mode
    ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        seen << dialog->windowTitle() << dialog->nameFilters().join('|')
             << dialog->directory().absolutePath() << QString::number(dialog->acceptMode());
        if (choose.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path(choose));
            QMetaObject::invokeMethod(dialog, "accept");
        }
        return true;
    });
    field.button()->click();

    QCOMPARE(field.lineEdit()->text(), path(after));
    // The dialog opens where the field points, or where the last name was picked.
    const QString directory =
        QFileInfo(start.isEmpty() ? dir.filePath("sub/") : path(start)).absolutePath();
    if (!choose.isEmpty())
        QCOMPARE(FileChoose::lastDirectory(), QFileInfo(path(after)).absolutePath());
    const int accept = mode == 0 ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
    const QStringList captions{"Choose a filename to open", "Choose a filename to save under"};
    const QStringList expected{captions.value(mode), "PCAP (*.pcap)|any (*)", directory,
                               QString::number(accept)};
    QCOMPARE(seen, mode > 1 ? QStringList() : expected);
}

// Five named counters right-aligned in a margin-free grid; neither the close button nor Escape
// takes the dialog away during a run.
void TestReceiverForms::progressDialog()
{
    ProgressDialogImpl dialog;
    QVERIFY(!dialog.isModal());
    auto* grid = qobject_cast<QGridLayout*>(dialog.statFrame->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins());
    const QStringList captions{"Packets", "Bytes", "Errored length", "Bad CRC", "Too large"};
    QVERIFY(!dialog.labels[0] && !dialog.values[0]);
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(dialog.names[i], captions.at(i - 1));
        QCOMPARE(dialog.labels[i]->text(), captions.at(i - 1));
        QCOMPARE(grid->itemAtPosition(i - 1, 0)->widget(), dialog.labels[i]);
        QCOMPARE(grid->itemAtPosition(i - 1, 1)->widget(), dialog.values[i]);
        QCOMPARE(dialog.values[i]->alignment(), Qt::Alignment(Qt::AlignRight));
    }
    dialog.setText(StatHandler::BadCrc, "17");
    QCOMPARE(dialog.values[StatHandler::BadCrc]->text(), QString("17"));
    dialog.reset();
    QVERIFY(dialog.values[StatHandler::BadCrc]->text().isEmpty());
    QCOMPARE(dialog.Layout3->itemAt(1)->widget(), dialog.stopButton);

    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.close());
    QCloseEvent event;
    QApplication::sendEvent(&dialog, &event);
    QVERIFY(!event.isAccepted());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestReceiverForms)
#include "tst_receiverforms.moc"
