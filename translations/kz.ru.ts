<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>FileChoose</name>
    <message>
        <location filename="../ui/filechoose.cpp" line="69"/>
        <source>Choose a filename to open</source>
        <translation>Выберите файл для открытия</translation>
    </message>
    <message>
        <location filename="../ui/filechoose.cpp" line="67"/>
        <source>any (*)</source>
        <translation>все файлы (*)</translation>
    </message>
    <message>
        <location filename="../ui/filechoose.cpp" line="70"/>
        <source>Choose a filename to save under</source>
        <translation>Выберите имя файла для сохранения</translation>
    </message>
</context>
<context>
    <name>FileWidget</name>
    <message>
        <location filename="../ui/forms/filewidget.ui" line="14"/>
        <source>Form1</source>
        <translation>Form1</translation>
    </message>
</context>
<context>
    <name>I4b</name>
    <message>
        <location filename="../ui/forms/i4b.ui" line="14"/>
        <source>Form3</source>
        <translation>Form3</translation>
    </message>
    <message>
        <location filename="../ui/forms/i4b.ui" line="35"/>
        <source>Min. packet length:</source>
        <translation>Мин. длина пакета:</translation>
    </message>
    <message>
        <location filename="../ui/forms/i4b.ui" line="42"/>
        <source>File name:</source>
        <translation>Имя файла:</translation>
    </message>
</context>
<context>
    <name>I7</name>
    <message>
        <location filename="../ui/forms/i7.ui" line="14"/>
        <source>Form3</source>
        <translation>Form3</translation>
    </message>
    <message>
        <location filename="../ui/forms/i7.ui" line="35"/>
        <source>Min. packet length:</source>
        <translation>Мин. длина пакета:</translation>
    </message>
    <message>
        <location filename="../ui/forms/i7.ui" line="42"/>
        <source>File name:</source>
        <translation>Имя файла:</translation>
    </message>
</context>
<context>
    <name>LoopbackFrame</name>
    <message>
        <location filename="../ui/forms/loopbackframe.ui" line="20"/>
        <source>Form1</source>
        <translation>Form1</translation>
    </message>
    <message>
        <location filename="../ui/forms/loopbackframe.ui" line="64"/>
        <source>Min. packet length</source>
        <translation>Мин. длина пакета</translation>
    </message>
    <message>
        <location filename="../ui/forms/loopbackframe.ui" line="90"/>
        <source>Link type</source>
        <translation>Тип канального уровня</translation>
    </message>
</context>
<context>
    <name>PcapFrame</name>
    <message>
        <location filename="../ui/forms/pcapframe.ui" line="14"/>
        <source>Form3</source>
        <translation>Form3</translation>
    </message>
    <message>
        <location filename="../ui/forms/pcapframe.ui" line="35"/>
        <source>Min. packet length:</source>
        <translation>Мин. длина пакета:</translation>
    </message>
    <message>
        <location filename="../ui/forms/pcapframe.ui" line="49"/>
        <source>Link type:</source>
        <translation>Тип канального уровня:</translation>
    </message>
    <message>
        <location filename="../ui/forms/pcapframe.ui" line="56"/>
        <source>File name:</source>
        <translation>Имя файла:</translation>
    </message>
</context>
<context>
    <name>PortWidget</name>
    <message>
        <location filename="../ui/forms/portwidget.ui" line="14"/>
        <source>Form1</source>
        <translation>Form1</translation>
    </message>
    <message>
        <location filename="../ui/forms/portwidget.ui" line="57"/>
        <source>&amp;Test</source>
        <translation>Тест (&amp;T)</translation>
    </message>
    <message>
        <location filename="../ui/forms/portwidget.ui" line="60"/>
        <source>Alt+T</source>
        <translation>Alt+T</translation>
    </message>
</context>
<context>
    <name>ProgressDialog</name>
    <message>
        <location filename="../ui/forms/progressdialog.ui" line="14"/>
        <source>Progress</source>
        <translation>Ход приёма</translation>
    </message>
    <message>
        <location filename="../ui/forms/progressdialog.ui" line="78"/>
        <source>&amp;Stop</source>
        <translation>&amp;Стоп</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../ui/progressdialogimpl.cpp" line="12"/>
        <source>Packets</source>
        <translation>Пакеты</translation>
    </message>
    <message>
        <location filename="../ui/progressdialogimpl.cpp" line="13"/>
        <source>Bytes</source>
        <translation>Байты</translation>
    </message>
    <message>
        <location filename="../ui/progressdialogimpl.cpp" line="14"/>
        <source>Errored length</source>
        <translation>Ошибка длины</translation>
    </message>
    <message>
        <location filename="../ui/progressdialogimpl.cpp" line="15"/>
        <source>Bad CRC</source>
        <translation>Ошибка CRC</translation>
    </message>
    <message>
        <location filename="../ui/progressdialogimpl.cpp" line="16"/>
        <source>Too large</source>
        <translation>Превышение длины</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="68"/>
        <location filename="../acquisition/datagatherer.cpp" line="123"/>
        <source>Cancelled</source>
        <translation>Отменено</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="180"/>
        <source>Port isn&apos;t initialized</source>
        <translation>Порт не инициализирован</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="188"/>
        <source>File doesn&apos;t exist</source>
        <translation>Файл не существует</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="195"/>
        <source>Cannot open input file</source>
        <translation>Не удаётся открыть входной файл</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="335"/>
        <location filename="../acquisition/datagatherer.cpp" line="342"/>
        <source>Cannot read file </source>
        <translation>Не удаётся прочитать файл </translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="344"/>
        <source>File got shorter while it was read</source>
        <translation>Файл стал короче во время чтения</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="379"/>
        <source>Stop condition reached: %1</source>
        <translation>Условие остановки выполнено: %1</translation>
    </message>
    <message>
        <location filename="../acquisition/datagatherer.cpp" line="387"/>
        <source>No data from the tester for %1 s</source>
        <translation>Нет данных от тестера в течение %1 с</translation>
    </message>
    <message>
        <location filename="../capture/headerhandler.cpp" line="23"/>
        <source>Error reading ATU header. Invalid data. Halting.</source>
        <translation>Ошибка чтения заголовка ATU. Неверные данные. Остановка.</translation>
    </message>
    <message>
        <location filename="../writers/rawhandler.cpp" line="15"/>
        <location filename="../writers/writertotals.cpp" line="20"/>
        <source>bytes written</source>
        <translation>байт записано</translation>
    </message>
    <message>
        <location filename="../writers/rawhandler.cpp" line="24"/>
        <location filename="../writers/tracefile.cpp" line="72"/>
        <location filename="../writers/tracefile.cpp" line="97"/>
        <location filename="../writers/tracefile.cpp" line="179"/>
        <location filename="../writers/tracefile.cpp" line="209"/>
        <source>Cannot write file </source>
        <translation>Не удаётся записать файл </translation>
    </message>
    <message>
        <location filename="../writers/writertotals.cpp" line="19"/>
        <source>packets written</source>
        <translation>пак. записано</translation>
    </message>
    <message>
        <location filename="../writers/loopbackhandler.cpp" line="67"/>
        <source>Error while sending packet!</source>
        <translation>Ошибка при отправке пакета!</translation>
    </message>
    <message>
        <location filename="../writers/loopbackhandler.cpp" line="79"/>
        <source>Loopback adapter not found!</source>
        <translation>Петлевой адаптер не найден!</translation>
    </message>
    <message>
        <location filename="../writers/loopbackhandler.cpp" line="82"/>
        <source>Loopback adapter found!</source>
        <translation>Петлевой адаптер найден!</translation>
    </message>
    <message>
        <location filename="../writers/loopbackhandler.cpp" line="84"/>
        <source>Unable to update registry!</source>
        <translation>Не удаётся обновить реестр!</translation>
    </message>
    <message>
        <location filename="../writers/loopbackhandler.cpp" line="94"/>
        <source>Cannot open loopback adapter </source>
        <translation>Не удаётся открыть петлевой адаптер </translation>
    </message>
    <message>
        <location filename="../writers/tracefile.cpp" line="63"/>
        <source>Cannot open file </source>
        <translation>Не удаётся открыть файл </translation>
    </message>
    <message>
        <location filename="../writers/tracefile.cpp" line="98"/>
        <source>its header cannot state a length past %1 bytes</source>
        <translation>заголовок файла не может указать длину больше %1 байт</translation>
    </message>
    <message>
        <location filename="../writers/tracefile.cpp" line="121"/>
        <source>Switched to %1</source>
        <translation>Запись продолжена в файл %1</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="82"/>
        <source>Port isn&apos;t set</source>
        <translation>Порт не задан</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="142"/>
        <location filename="../device/porttestthread.cpp" line="155"/>
        <source>Writing timeout</source>
        <translation>Тайм-аут записи</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="148"/>
        <location filename="../device/porttestthread.cpp" line="159"/>
        <source>Reading timeout</source>
        <translation>Тайм-аут чтения</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="165"/>
        <source>Device found!</source>
        <translation>Устройство найдено!</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="166"/>
        <source> Date: </source>
        <translation> Дата: </translation>
    </message>
    <message>
        <location filename="../device/serialdevice.cpp" line="75"/>
        <source>Internal error</source>
        <translation>Внутренняя ошибка</translation>
    </message>
</context>
<context>
    <name>RawFrame</name>
    <message>
        <location filename="../ui/forms/rawframe.ui" line="14"/>
        <source>Form2</source>
        <translation>Form2</translation>
    </message>
    <message>
        <location filename="../ui/forms/rawframe.ui" line="35"/>
        <source>File name (RX):</source>
        <translation>Имя файла (RX):</translation>
    </message>
    <message>
        <location filename="../ui/forms/rawframe.ui" line="42"/>
        <source>File name (Sync):</source>
        <translation>Имя файла (Sync):</translation>
    </message>
</context>
<context>
    <name>Toshiba</name>
    <message>
        <location filename="../ui/forms/toshiba.ui" line="14"/>
        <source>Form3</source>
        <translation>Form3</translation>
    </message>
    <message>
        <location filename="../ui/forms/toshiba.ui" line="35"/>
        <source>File name:</source>
        <translation>Имя файла:</translation>
    </message>
    <message>
        <location filename="../ui/forms/toshiba.ui" line="68"/>
        <source>Min. packet length:</source>
        <translation>Мин. длина пакета:</translation>
    </message>
</context>
<context>
    <name>VarodariDoro</name>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="50"/>
        <source>Start receive data from device</source>
        <translation>Начать приём данных с устройства</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="51"/>
        <source>Clear info box</source>
        <translation>Очистить журнал сообщений</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="273"/>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="386"/>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="386"/>
        <source>A capture is running. Stop it and quit?</source>
        <translation>Идёт приём данных. Остановить его и выйти?</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="483"/>
        <source>Run ended: end of file</source>
        <translation>Приём завершён: конец файла</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="485"/>
        <source>Run ended: stopped</source>
        <translation>Приём завершён: остановлен</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="487"/>
        <source>Run ended: the tester fell silent</source>
        <translation>Приём завершён: тестер замолчал</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="47"/>
        <source>RX file name isn&apos;t specified</source>
        <translation>Не указано имя файла RX</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="49"/>
        <source>Sync file name isn&apos;t specified</source>
        <translation>Не указано имя файла Sync</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="56"/>
        <source>Min. packet length must be from 0 to 65535</source>
        <translation>Мин. длина пакета должна быть от 0 до 65535</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="58"/>
        <source>Wrong min. packet length</source>
        <translation>Неверная мин. длина пакета</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="62"/>
        <source>File name isn&apos;t specified</source>
        <translation>Не указано имя файла</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="72"/>
        <source>Replay file name isn&apos;t specified</source>
        <translation>Не указано имя файла для воспроизведения</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="75"/>
        <source>Replay file doesn&apos;t exist: %1</source>
        <translation>Файл для воспроизведения не существует: %1</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="91"/>
        <source>input file</source>
        <translation>входной файл</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="94"/>
        <source>port</source>
        <translation>порт</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="98"/>
        <source>RX file</source>
        <translation>файл RX</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="99"/>
        <source>trace file</source>
        <translation>файл трассы</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="102"/>
        <source>Sync file</source>
        <translation>файл Sync</translation>
    </message>
    <message>
        <location filename="../acquisition/runsettings.cpp" line="108"/>
        <source>The %1 and the %2 are the same file: %3</source>
        <translation>Совпадают %1 и %2: %3</translation>
    </message>
    <message>
        <location filename="../ui/varodaridoro.cpp" line="367"/>
        <location filename="../ui/varodaridoro.cpp" line="496"/>
        <source>Data gathering error</source>
        <translation>Ошибка сбора данных</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="202"/>
        <source>Port test successful</source>
        <translation>Тест порта пройден успешно</translation>
    </message>
    <message>
        <location filename="../device/porttestthread.cpp" line="206"/>
        <source>Cannot set </source>
        <translation>Не удаётся настроить порт </translation>
    </message>
</context>
<context>
    <name>helpWidget</name>
    <message>
        <location filename="../ui/forms/helpwidget.ui" line="14"/>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <location filename="../ui/forms/helpwidget.ui" line="38"/>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <location filename="../ui/forms/helpwidget.ui" line="82"/>
        <source>Back</source>
        <translation>Назад</translation>
    </message>
    <message>
        <location filename="../ui/forms/helpwidget.ui" line="89"/>
        <source>Home</source>
        <translation>В начало</translation>
    </message>
</context>
<context>
    <name>sereaderWidget</name>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="14"/>
        <source>Vezive-V1 data receiver</source>
        <translation>Приёмник данных Vezive-V1</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="66"/>
        <source>Port</source>
        <translation>Порт</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="71"/>
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="114"/>
        <source>Timeslots</source>
        <translation>Таймслоты</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="137"/>
        <source>RX:</source>
        <translation>RX:</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="154"/>
        <source>Sync:</source>
        <translation>Sync:</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="176"/>
        <source>Trace type</source>
        <translation>Тип трассы</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="209"/>
        <source>Raw</source>
        <translation>Необработанные данные</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="214"/>
        <source>PCAP</source>
        <translation>PCAP</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="219"/>
        <source>Toshiba Compact ISDN Router snoop</source>
        <translation>Toshiba Compact ISDN Router snoop</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="224"/>
        <source>I4B ISDN</source>
        <translation>I4B ISDN</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="229"/>
        <source>I7</source>
        <translation>I7</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="234"/>
        <source>Loopback</source>
        <translation>Петлевой адаптер</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="239"/>
        <source>PCAPNG</source>
        <translation>PCAPNG</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="297"/>
        <source>&amp;Start</source>
        <translation>Пуск (&amp;S)</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="300"/>
        <source>Alt+S</source>
        <translation>Alt+S</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="315"/>
        <source>Message log</source>
        <translation>Журнал сообщений</translation>
    </message>
    <message>
        <location filename="../ui/forms/sereaderwidget.ui" line="338"/>
        <source>Clear</source>
        <translation>Очистить</translation>
    </message>
</context>
</TS>
