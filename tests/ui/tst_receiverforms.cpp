// The program's forms, its file name field, progress dialog and help browser, built on their own.

#include "filechoose.h"
#include "forms.h"
#include "helpwidgetimpl.h"
#include "koitextbrowser.h"
#include "modalwatcher.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "support/testfiles.h"

#include <memory>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {

std::unique_ptr<QWidget> makeForm(const QString& form)
{
    if (form == "sereaderWidget")
        return std::make_unique<sereaderWidget>();
    if (form == "PortWidget")
        return std::make_unique<PortWidget>();
    if (form == "FileWidget")
        return std::make_unique<FileWidget>();
    if (form == "RawFrame")
        return std::make_unique<RawFrame>();
    if (form == "PcapFrame")
        return std::make_unique<PcapFrame>();
    if (form == "Toshiba")
        return std::make_unique<Toshiba>();
    if (form == "I4b")
        return std::make_unique<I4b>();
    if (form == "I7")
        return std::make_unique<I7>();
    if (form == "LoopbackFrame")
        return std::make_unique<LoopbackFrame>();
    if (form == "ProgressDialog")
        return std::make_unique<ProgressDialog>();
    if (form == "helpWidget")
        return std::make_unique<helpWidget>();
    return nullptr;
}

using Policy = QSizePolicy::Policy;

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

// A small page in KOI8-R: "Справка" and "Вторая страница" in Cyrillic letters.
QByteArray koi8r(const QString& text)
{
    QStringEncoder encoder("KOI8-R");
    return encoder.encode(text);
}

const QString HelpTitle = QString::fromUtf8("Справка");
const QString SecondTitle = QString::fromUtf8("Вторая страница");

} // namespace

class TestReceiverForms : public QObject
{
    Q_OBJECT

private slots:
    void formClasses_data();
    void formClasses();
    void widgets_data();
    void widgets();
    void layouts_data();
    void layouts();
    void spacers();
    void mainForm();
    void windowIcon();
    void fileChoose_data();
    void fileChoose();
    void progressDialog();
    void progressDialogStaysOpen();
    void helpBrowser_data();
    void helpBrowser();
    void helpButtons();
};

void TestReceiverForms::formClasses_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("baseClass");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("size");

    QTest::newRow("sereaderWidget") << "sereaderWidget"
                                    << "QWidget"
                                    << "Vezive-V1 data receiver" << QSize(601, 443);
    QTest::newRow("PortWidget") << "PortWidget"
                                << "QWidget"
                                << "Form1" << QSize(341, 36);
    QTest::newRow("FileWidget") << "FileWidget"
                                << "QWidget"
                                << "Form1" << QSize(341, 36);
    QTest::newRow("RawFrame") << "RawFrame"
                              << "QWidget"
                              << "Form2" << QSize(340, 220);
    QTest::newRow("PcapFrame") << "PcapFrame"
                               << "QWidget"
                               << "Form3" << QSize(341, 187);
    QTest::newRow("Toshiba") << "Toshiba"
                             << "QWidget"
                             << "Form3" << QSize(333, 187);
    QTest::newRow("I4b") << "I4b"
                         << "QWidget"
                         << "Form3" << QSize(333, 187);
    QTest::newRow("I7") << "I7"
                        << "QWidget"
                        << "Form3" << QSize(329, 187);
    QTest::newRow("LoopbackFrame") << "LoopbackFrame"
                                   << "QWidget"
                                   << "Form1" << QSize(308, 56);
    QTest::newRow("ProgressDialog") << "ProgressDialog"
                                    << "QDialog"
                                    << "Progress" << QSize(290, 107);
    QTest::newRow("helpWidget") << "helpWidget"
                                << "QWidget"
                                << "Help" << QSize(384, 474);
}

// Class, object name, caption and the initial size: the listed one unless the contents need more.
void TestReceiverForms::formClasses()
{
    QFETCH(QString, form);
    QFETCH(QString, baseClass);
    QFETCH(QString, caption);
    QFETCH(QSize, size);

    const std::unique_ptr<QWidget> widget = makeForm(form);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()), form);
    QCOMPARE(QString(widget->metaObject()->superClass()->className()), baseClass);
    QCOMPARE(widget->objectName(), form);
    QCOMPARE(widget->windowTitle(), caption);
    QCOMPARE(widget->size(), size.expandedTo(widget->minimumSizeHint()));
    QVERIFY(widget->metaObject()->indexOfSlot("languageChange()") >= 0);

    // A name given to the constructor is kept.
    if (form == "PortWidget") {
        PortWidget named(nullptr, "portPanel");
        QCOMPARE(named.objectName(), QString("portPanel"));
    }
}

void TestReceiverForms::widgets_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("widgetClass");
    QTest::addColumn<QStringList>("properties"); // "property=value", compared as text
    QTest::addColumn<int>("hPolicy");            // -1: the type's default
    QTest::addColumn<int>("vPolicy");
    QTest::addColumn<QRect>("cell"); // in a grid layout: column, row, column span, 1

    const auto row = [](const char* form, const char* name, const char* cls,
                        const QStringList& properties, QRect cell = QRect(), int h = -1,
                        int v = -1) {
        QTest::addRow("%s.%s", form, name)
            << QString(form) << QString(name) << QString(cls) << properties << h << v << cell;
    };
    const auto at = [](int r, int c, int span = 1) { return QRect(c, r, span, 1); };
    const QStringList noFrame{"frameShape=NoFrame", "frameShadow=Plain"};
    const char* window = "sereaderWidget";
    row(window, "source", "QComboBox", {"editable=false"}, {}, Policy::Minimum, Policy::Fixed);
    row(window, "sourceFrame", "QFrame", noFrame);
    row(window, "GroupBox1", "QGroupBox", {"title=Timeslots"}, {}, Policy::Fixed, Policy::Fixed);
    row(window, "TextLabel4", "QLabel", {"text=RX:"});
    row(window, "rxTimeslot", "QSpinBox", {"minimum=0", "maximum=31"});
    row(window, "TextLabel5", "QLabel", {"text=Sync:"});
    row(window, "syncTimeslot", "QSpinBox", {"minimum=0", "maximum=31"});
    row(window, "GroupBox3", "QGroupBox", {"title=Trace type"});
    row(window, "dataType", "QComboBox", {"editable=false"}, {}, Policy::Minimum, Policy::Minimum);
    row(window, "dataFrame", "QFrame", noFrame);
    row(window, "startButton", "QPushButton", {"text=&Start", "shortcut=Alt+S"});
    row(window, "GroupBox8", "QGroupBox", {"title=Message log"}, {}, Policy::Preferred,
        Policy::Minimum);
    row(window, "clearButton", "QPushButton", {"text=Clear"}, at(1, 1));
    row(window, "logBox", "QListWidget",
        {"verticalScrollBarPolicy=ScrollBarAlwaysOn", "horizontalScrollBarPolicy=ScrollBarAsNeeded",
         "selectionMode=NoSelection", "count=0"},
        at(0, 0, 2), Policy::Expanding, Policy::MinimumExpanding);

    row("PortWidget", "portName", "QLineEdit", {"frame=true"}, {}, Policy::Expanding,
        Policy::Fixed);
    row("PortWidget", "testButton", "QPushButton", {"text=&Test", "shortcut=Alt+T"}, {},
        Policy::Minimum, Policy::Fixed);
    row("FileWidget", "fileChoose", "FileChoose", {});

    row("RawFrame", "TextLabel2", "QLabel", {"text=File name (RX):"}, at(0, 0));
    row("RawFrame", "TextLabel2_2", "QLabel", {"text=File name (Sync):"}, at(1, 0));
    row("RawFrame", "rxFileName", "FileChoose", {}, at(0, 1));
    row("RawFrame", "syncFileName", "FileChoose", {}, at(1, 1));

    row("PcapFrame", "TextLabel1", "QLabel", {"text=Min. packet length:"}, at(4, 0, 2));
    row("PcapFrame", "linkType", "QComboBox", {"editable=false", "count=0"}, at(0, 1, 3));
    row("PcapFrame", "linkTypeLabel", "QLabel", {"text=Link type:"}, at(0, 0));
    row("PcapFrame", "TextLabel6_2", "QLabel", {"text=File name:"}, at(1, 0));
    row("PcapFrame", "minPacketLength", "QLineEdit", {"maxLength=5"}, at(4, 2));
    row("PcapFrame", "fileName", "FileChoose", {}, at(1, 1, 3));
    row("Toshiba", "TextLabel6_2", "QLabel", {"text=File name:"}, at(0, 0));
    row("Toshiba", "fileName", "FileChoose", {}, at(0, 1, 3));
    row("Toshiba", "minPacketLength", "QLineEdit", {"maxLength=5"}, at(1, 2));
    row("Toshiba", "TextLabel1", "QLabel", {"text=Min. packet length:"}, at(1, 0, 2));
    for (const char* form : {"I4b", "I7"}) {
        row(form, "TextLabel1", "QLabel", {"text=Min. packet length:"}, at(4, 0, 2));
        row(form, "TextLabel6_2", "QLabel", {"text=File name:"}, at(1, 0));
        row(form, "minPacketLength", "QLineEdit", {"maxLength=5"}, at(4, 2));
        row(form, "fileName", "FileChoose", {}, at(1, 1, 3));
    }
    // The Loopback panel's own wording, and no length limit.
    row("LoopbackFrame", "textLabel1_2", "QLabel", {"text=Min. packet lenght"}, at(1, 0),
        Policy::Fixed, Policy::Fixed);
    row("LoopbackFrame", "minPacketLength", "QLineEdit", {"maxLength=32767", "frame=true"},
        at(1, 2), Policy::Fixed, Policy::Fixed);
    row("LoopbackFrame", "textLabel1", "QLabel", {"text=Link type"}, at(0, 0), Policy::Fixed,
        Policy::Fixed);
    row("LoopbackFrame", "linkType", "QComboBox", {"editable=false", "count=0"}, at(0, 1, 2));

    row("ProgressDialog", "statFrame", "QFrame", {"frameShape=NoFrame", "frameShadow=Raised"});
    row("ProgressDialog", "stopButton", "QPushButton", {"text=&Stop"});
    row("helpWidget", "textBrowser", "KoiTextBrowser", {"source=", "plainText="}, at(1, 0, 4));
    row("helpWidget", "closeButton", "QPushButton", {"text=Close"}, at(0, 3));
    row("helpWidget", "backButton", "QPushButton", {"text=Back"}, at(0, 1));
    row("helpWidget", "homeButton", "QPushButton", {"text=Home"}, at(0, 0));
}

void TestReceiverForms::widgets()
{
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QString, widgetClass);
    QFETCH(QStringList, properties);
    QFETCH(int, hPolicy);
    QFETCH(int, vPolicy);
    QFETCH(QRect, cell);

    const std::unique_ptr<QWidget> widget = makeForm(form);
    auto* child = widget->findChild<QWidget*>(name);
    QVERIFY2(child, qPrintable(name));
    QCOMPARE(QString(child->metaObject()->className()), widgetClass);
    for (const QString& pair : properties) {
        const QByteArray key = pair.section('=', 0, 0).toLatin1();
        QCOMPARE(propertyText(child, key.constData()), pair.section('=', 1));
    }
    if (hPolicy >= 0)
        QCOMPARE(int(child->sizePolicy().horizontalPolicy()), hPolicy);
    if (vPolicy >= 0)
        QCOMPARE(int(child->sizePolicy().verticalPolicy()), vPolicy);
    if (cell.isNull())
        return;
    auto* grid = qobject_cast<QGridLayout*>(child->parentWidget()->layout());
    for (QGridLayout* candidate : widget->findChildren<QGridLayout*>())
        if (candidate->indexOf(child) >= 0)
            grid = candidate;
    QVERIFY(grid && grid->indexOf(child) >= 0);
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(child), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QRect(column, row, columnSpan, rowSpan), cell);
}

void TestReceiverForms::layouts_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("layoutClass");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("alignedTop");

    const auto row = [](const char* form, const char* name, const char* cls, int margin,
                        int spacing, bool top = false) {
        QTest::addRow("%s.%s", form, name)
            << QString(form) << QString(name) << QString(cls) << margin << spacing << top;
    };
    row("sereaderWidget", "sereaderWidgetLayout", "QVBoxLayout", 2, 2);
    row("sereaderWidget", "layout5", "QHBoxLayout", 0, 6);
    row("sereaderWidget", "layout10", "QHBoxLayout", 0, 6);
    row("sereaderWidget", "GroupBox1ColumnLayout", "QVBoxLayout", 6, 2);
    row("sereaderWidget", "GroupBox1Layout", "QHBoxLayout", 0, 2, true);
    row("sereaderWidget", "GroupBox3ColumnLayout", "QVBoxLayout", 6, 0);
    row("sereaderWidget", "GroupBox3Layout", "QHBoxLayout", 0, 0, true);
    row("sereaderWidget", "layout7", "QHBoxLayout", 0, 6);
    row("sereaderWidget", "GroupBox8ColumnLayout", "QVBoxLayout", 6, 6);
    row("sereaderWidget", "GroupBox8Layout", "QGridLayout", 0, 6, true);
    row("PortWidget", "PortWidgetLayout", "QHBoxLayout", 2, 2);
    row("FileWidget", "FileWidgetLayout", "QVBoxLayout", 2, 2);
    row("RawFrame", "RawFrameLayout", "QGridLayout", 0, 2);
    row("PcapFrame", "PcapFrameLayout", "QGridLayout", 0, 6);
    row("Toshiba", "ToshibaLayout", "QGridLayout", 0, 6);
    row("I4b", "I4bLayout", "QGridLayout", 0, 6);
    row("I7", "I7Layout", "QGridLayout", 0, 6);
    row("LoopbackFrame", "LoopbackFrameLayout", "QGridLayout", 0, 0);
    row("LoopbackFrame", "layout1", "QGridLayout", 0, 6);
    row("ProgressDialog", "ProgressDialogLayout", "QVBoxLayout", 11, 6);
    row("ProgressDialog", "Layout3", "QHBoxLayout", 0, 0);
    row("helpWidget", "helpWidgetLayout", "QGridLayout", 0, 0);
}

void TestReceiverForms::layouts()
{
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QString, layoutClass);
    QFETCH(int, margin);
    QFETCH(int, spacing);
    QFETCH(bool, alignedTop);

    const std::unique_ptr<QWidget> widget = makeForm(form);
    auto* layout = widget->findChild<QLayout*>(name);
    QVERIFY2(layout, qPrintable(name));
    QCOMPARE(QString(layout->metaObject()->className()), layoutClass);
    QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
    QCOMPARE(layout->spacing(), spacing);
    QCOMPARE(bool(layout->alignment() & Qt::AlignTop), alignedTop);
}

// Every spacer pushes sideways (Expanding, Minimum) from its listed size and cell.
void TestReceiverForms::spacers()
{
    struct Spacer
    {
        const char* form;
        const char* layout;
        int row, column; // in a box layout: the index
        QSize size;
    };
    const Spacer spacers[] = {
        {"sereaderWidget", "layout7", 0, 0, {311, 24}},
        {"sereaderWidget", "GroupBox8Layout", 1, 0, {292, 20}},
        {"PcapFrame", "PcapFrameLayout", 4, 3, {20, 20}},
        {"Toshiba", "ToshibaLayout", 1, 3, {20, 20}},
        {"I4b", "I4bLayout", 4, 3, {20, 20}},
        {"I7", "I7Layout", 4, 3, {20, 20}},
        {"LoopbackFrame", "layout1", 1, 1, {190, 20}},
        {"ProgressDialog", "Layout3", 0, 0, {20, 20}},
        {"ProgressDialog", "Layout3", 0, 2, {20, 20}},
        {"helpWidget", "helpWidgetLayout", 0, 2, {91, 20}},
    };
    for (const Spacer& expected : spacers) {
        const std::unique_ptr<QWidget> form = makeForm(expected.form);
        auto* layout = form->findChild<QLayout*>(expected.layout);
        QVERIFY2(layout, expected.layout);
        auto* grid = qobject_cast<QGridLayout*>(layout);
        QLayoutItem* item = grid ? grid->itemAtPosition(expected.row, expected.column)
                                 : layout->itemAt(expected.column);
        QVERIFY2(item && item->spacerItem(), expected.layout);
        QCOMPARE(item->spacerItem()->sizeHint(), expected.size);
        QCOMPARE(item->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(item->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    }
}

// A new main form: the first items of its lists (also after languageChange() on a form whose
// choices were changed), timeslots 0 within 0..31, an empty log with its scroll bar.
void TestReceiverForms::mainForm()
{
    sereaderWidget form;
    const auto items = [](const QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    };
    const QStringList sources{"Port", "File"};
    const QStringList traceTypes{"Raw",      "PCAP", "Toshiba Compact ISDN Router snoop",
                                 "I4B ISDN", "I7",   "Loopback"};
    QCOMPARE(items(form.source), sources);
    QCOMPARE(items(form.dataType), traceTypes);
    form.source->setCurrentIndex(1);
    form.dataType->setCurrentIndex(4);
    form.languageChange();
    QCOMPARE(items(form.source), sources);
    QCOMPARE(items(form.dataType), traceTypes);
    QCOMPARE(form.source->currentIndex(), 0);
    QCOMPARE(form.dataType->currentIndex(), 0);

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.rxTimeslot->value(), 0);
    QCOMPARE(form.syncTimeslot->value(), 0);
    QVERIFY(form.logBox->verticalScrollBar()->isVisible());
    form.rxTimeslot->setValue(32);
    QCOMPARE(form.rxTimeslot->value(), 31);
    form.syncTimeslot->setValue(-1);
    QCOMPARE(form.syncTimeslot->value(), 0);
}

// A 32 x 32 picture with an alpha channel: transparent corners, a blue ball in the middle.
void TestReceiverForms::windowIcon()
{
    sereaderWidget form;
    const QIcon icon = form.windowIcon();
    QVERIFY(!icon.isNull());
    const QImage image = icon.pixmap(32, 32).toImage();
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
    QTest::addColumn<QString>("start");   // the field's text before; %1 is the temporary dir
    QTest::addColumn<QString>("choose");  // what the user picks; empty: cancels
    QTest::addColumn<QString>("caption"); // empty: no dialog at all
    QTest::addColumn<QString>("after");

    const QString openCaption = "Choose a filename to open";
    const QString saveCaption = "Choose a filename to save under";
    // A stream file without a dot in its name must be pickable.
    QTest::newRow("open picks a file") << 0 << "%1/"
                                       << "%1/capture" << openCaption << "%1/capture";
    QTest::newRow("open cancelled") << 0 << "%1/capture"
                                    << "" << openCaption << "%1/capture";
    QTest::newRow("open cancelled, empty field") << 0 << ""
                                                 << "" << openCaption << "";
    QTest::newRow("save picks a new name") << 1 << "%1/sub/old.pcap"
                                           << "%1/sub/new.pcap" << saveCaption << "%1/sub/new.pcap";
    QTest::newRow("save cancelled") << 1 << "%1/sub/old.pcap"
                                    << "" << saveCaption << "%1/sub/old.pcap";
    QTest::newRow("save cancelled, empty field") << 1 << ""
                                                 << "" << saveCaption << "";
    QTest::newRow("no such mode") << 7 << "%1/capture"
                                  << ""
                                  << ""
                                  << "%1/capture";
}

void TestReceiverForms::fileChoose()
{
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(QString, choose);
    QFETCH(QString, caption);
    QFETCH(QString, after);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("sub"));
    QVERIFY(writeFile(dir.filePath("capture"), "stream"));
    const auto expand = [&dir](const QString& text) {
        return text.contains("%1") ? text.arg(dir.path()) : text;
    };

    FileChoose field;
    QCOMPARE(field.mode(), int(FileChoose::Save));
    QCOMPARE(field.button()->text(), QString("..."));
    field.setMode(mode);
    field.lineEdit()->setText(expand(start));

    QString seenCaption;
    QStringList seenFilters;
    QString seenDirectory;
    int seenAcceptMode = -1;
    ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        seenCaption = dialog->windowTitle();
        seenFilters = dialog->nameFilters();
        seenDirectory = dialog->directory().absolutePath();
        seenAcceptMode = dialog->acceptMode();
        if (choose.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(expand(choose));
            QMetaObject::invokeMethod(dialog, "accept");
        }
        return true;
    });
    field.button()->click();

    QCOMPARE(field.lineEdit()->text(), expand(after));
    if (caption.isEmpty()) {
        QCOMPARE(watcher.handled(), 0);
        return;
    }
    QCOMPARE(watcher.handled(), 1);
    QCOMPARE(seenCaption, caption);
    QCOMPARE(seenFilters, QStringList{"any (*)"});
    QCOMPARE(seenAcceptMode, int(mode == 0 ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave));
    // The dialog opens where the field points.
    if (!start.isEmpty())
        QCOMPARE(seenDirectory, QFileInfo(expand(start)).absolutePath());
}

void TestReceiverForms::progressDialog()
{
    ProgressDialogImpl dialog;
    QCOMPARE(dialog.windowTitle(), QString("Progress"));
    QVERIFY(!dialog.isModal());
    auto* grid = qobject_cast<QGridLayout*>(dialog.statFrame->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins());
    const QStringList captions{"Packets", "Bytes", "Errored length", "Bad CRC", "Too large"};
    QVERIFY(dialog.names[0].isEmpty());
    QVERIFY(!dialog.labels[0] && !dialog.values[0]);
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(dialog.names[i], captions.at(i - 1));
        QCOMPARE(dialog.labels[i]->text(), captions.at(i - 1));
        QCOMPARE(grid->itemAtPosition(i - 1, 0)->widget(), dialog.labels[i]);
        QCOMPARE(grid->itemAtPosition(i - 1, 1)->widget(), dialog.values[i]);
        QCOMPARE(dialog.values[i]->alignment(), Qt::Alignment(Qt::AlignRight));
        QVERIFY(dialog.values[i]->text().isEmpty());
    }
    dialog.setText(StatHandler::BadCrc, "17");
    dialog.setText(StatHandler::Packets, "4294967295");
    QCOMPARE(dialog.values[StatHandler::BadCrc]->text(), QString("17"));
    QCOMPARE(dialog.values[StatHandler::Packets]->text(), QString("4294967295"));
    dialog.reset();
    for (int i = 1; i <= 5; ++i)
        QVERIFY(dialog.values[i]->text().isNull());
    QCOMPARE(dialog.Layout3->itemAt(1)->widget(), dialog.stopButton);
}

// Neither the window's close button nor Escape takes the dialog away during a run.
void TestReceiverForms::progressDialogStaysOpen()
{
    ProgressDialogImpl dialog;
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    QCloseEvent event;
    QApplication::sendEvent(&dialog, &event);
    QVERIFY(!event.isAccepted());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    dialog.hide();
    QVERIFY(!dialog.isVisible());
}

void TestReceiverForms::helpBrowser_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("expected");

    const QByteArray body = koi8r(HelpTitle);
    QTest::newRow("no charset tag") << "index.html"
                                    << "<html><body><p>" + body + "</p></body></html>" << HelpTitle;
    // The pages are KOI8-R whatever they claim.
    QTest::newRow("wrong charset tag")
        << "index.html"
        << "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>"
        << HelpTitle;
    QTest::newRow("upper-case extension") << "INDEX.HTML"
                                          << "<p>" + body + "</p>" << HelpTitle;
}

void TestReceiverForms::helpBrowser()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, page);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(fileName), page));
    KoiTextBrowser browser;
    browser.setSearchPaths({dir.path()});
    browser.setSource(QUrl(fileName));
    QCOMPARE(browser.toPlainText().trimmed(), expected);
}

// Home and Back both lead to the first page; Close hides the window without destroying it.
void TestReceiverForms::helpButtons()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("index.html"),
                      "<p>" + koi8r(HelpTitle) + "</p><a href=\"second.html\">next</a>"));
    QVERIFY(writeFile(dir.filePath("second.html"), "<p>" + koi8r(SecondTitle) + "</p>"));
    QVERIFY(writeFile(dir.filePath("third.html"), "<p>third</p>"));

    helpwidgetImpl help;
    QCOMPARE(QString(help.metaObject()->className()), QString("helpwidgetImpl"));
    QCOMPARE(help.backButton->palette().color(QPalette::Active, QPalette::ButtonText),
             QColor(Qt::black));
    help.textBrowser->setSearchPaths({dir.path()});
    help.textBrowser->setSource(QUrl("index.html"));
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));

    for (QPushButton* button : {help.backButton, help.homeButton}) {
        help.textBrowser->setSource(QUrl("second.html"));
        help.textBrowser->setSource(QUrl("third.html"));
        button->click();
        QCOMPARE(help.textBrowser->source(), QUrl("index.html"));
        QVERIFY(help.textBrowser->toPlainText().startsWith(HelpTitle));
    }

    QPointer<helpwidgetImpl> alive(&help);
    help.closeButton->click();
    QVERIFY(!help.isVisible());
    QVERIFY(alive);
}

QTEST_MAIN(TestReceiverForms)
#include "tst_receiverforms.moc"
