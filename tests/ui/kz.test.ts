<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>VarodariDoro</name>
    <message>
        <source>Start receive data from device</source>
        <translation>Empfang vom Gerät starten</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>sereaderWidget</name>
    <message>
        <source>Vezive-V1 data receiver</source>
        <translation>Vezive-V1 Datenempfänger</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
</context>
<context>
    <name>PcapFrame</name>
    <message>
        <source>Link type:</source>
        <translation>Verbindungstyp:</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Packets</source>
        <translation>Pakete</translation>
    </message>
</context>
</TS>
