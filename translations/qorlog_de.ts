<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AutomationServer</name>
    <message>
        <source>No session bus is available</source>
        <translation>Es ist kein Session-Bus verfügbar</translation>
    </message>
    <message>
        <source>Cannot publish the automation object at %1</source>
        <translation>Das Automatisierungsobjekt kann nicht unter %1 veröffentlicht werden</translation>
    </message>
    <message>
        <source>Cannot take the bus name %1: %2</source>
        <translation>Der Busname %1 kann nicht übernommen werden: %2</translation>
    </message>
    <message>
        <source>it is taken</source>
        <translation>er ist vergeben</translation>
    </message>
</context>
<context>
    <name>BatteryCards</name>
    <message>
        <source>LiPo</source>
        <translation>LiPo</translation>
    </message>
    <message>
        <source>LiHV</source>
        <translation>LiHV</translation>
    </message>
    <message>
        <source>Li-ion</source>
        <translation>Li-Ion</translation>
    </message>
    <message>
        <source>LiFePO4</source>
        <translation>LiFePO4</translation>
    </message>
    <message>
        <source>NiMH</source>
        <translation>NiMH</translation>
    </message>
    <message>
        <source>NiCd</source>
        <translation>NiCd</translation>
    </message>
    <message>
        <source>Lead-acid</source>
        <translation>Blei-Säure</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Andere</translation>
    </message>
    <message>
        <source>In use</source>
        <translation>In Gebrauch</translation>
    </message>
    <message>
        <source>Stored</source>
        <translation>Eingelagert</translation>
    </message>
    <message>
        <source>Retired</source>
        <translation>Ausgemustert</translation>
    </message>
    <message>
        <source>A battery card needs the battery&apos;s name.</source>
        <translation>Eine Akkukarte braucht den Namen des Akkus.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Etikett</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Notiz</translation>
    </message>
    <message>
        <source>The %1 of the battery card holds a character the log file cannot store.</source>
        <translation>Das Feld %1 der Akkukarte enthält ein Zeichen, das die Ladebuchdatei nicht speichern kann.</translation>
    </message>
    <message>
        <source>The %1 of the battery card is longer than %2 characters.</source>
        <translation>Das Feld %1 der Akkukarte ist länger als %2 Zeichen.</translation>
    </message>
    <message>
        <source>The rated capacity must be a number of at least 0.</source>
        <translation>Die Nennkapazität muss eine Zahl von mindestens 0 sein.</translation>
    </message>
    <message>
        <source>Cells and rated cycles must be at least 0.</source>
        <translation>Zellen und Nennzyklen müssen mindestens 0 sein.</translation>
    </message>
    <message>
        <source>The date bought is not a date.</source>
        <translation>Das Kaufdatum ist kein Datum.</translation>
    </message>
    <message>
        <source> V</source>
        <translation> V</translation>
    </message>
    <message>
        <source>above full (%1)</source>
        <translation>über voll (%1)</translation>
    </message>
    <message>
        <source>full</source>
        <translation>voll</translation>
    </message>
    <message>
        <source>storage</source>
        <translation>Lagerspannung</translation>
    </message>
    <message>
        <source>below storage (%1)</source>
        <translation>unter Lagerspannung (%1)</translation>
    </message>
    <message>
        <source>between storage (%1) and full (%2)</source>
        <translation>zwischen Lagerspannung (%1) und voll (%2)</translation>
    </message>
    <message>
        <source>%1 per cell: %2</source>
        <translation>%1 je Zelle: %2</translation>
    </message>
</context>
<context>
    <name>BatteryCardsMerge</name>
    <message>
        <source>Battery card %1: changed on another desktop too: kept this desktop&apos;s</source>
        <translation>Akkukarte %1: auch an einem anderen Rechner geändert: die dieses Rechners behalten</translation>
    </message>
</context>
<context>
    <name>BatteryDue</name>
    <message numerus="yes">
        <source>left full for %n days: charge to storage</source>
        <translation>
            <numerusform>seit %n Tagen voll geladen: auf Lagerspannung bringen</numerusform>
            <numerusform>seit %n Tagen voll geladen: auf Lagerspannung bringen</numerusform>
        </translation>
    </message>
    <message>
        <source>unused since %1</source>
        <translation>unbenutzt seit %1</translation>
    </message>
    <message>
        <source>end of life near</source>
        <translation>Lebensende nahe</translation>
    </message>
    <message>
        <source>capacity test due</source>
        <translation>Kapazitätstest fällig</translation>
    </message>
    <message>
        <source>left full for 1 day: charge to storage</source>
        <translation>seit 1 Tag voll geladen: auf Lagerspannung bringen</translation>
    </message>
</context>
<context>
    <name>BatteryReport</name>
    <message>
        <source>Battery</source>
        <translation>Akku</translation>
    </message>
    <message>
        <source>Cycles</source>
        <translation>Zyklen</translation>
    </message>
    <message>
        <source>Charges</source>
        <translation>Ladungen</translation>
    </message>
    <message>
        <source>Discharges</source>
        <translation>Entladungen</translation>
    </message>
    <message>
        <source>Ah charged</source>
        <translation>Ah geladen</translation>
    </message>
    <message>
        <source>Ah discharged</source>
        <translation>Ah entladen</translation>
    </message>
    <message>
        <source>Efficiency</source>
        <translation>Wirkungsgrad</translation>
    </message>
    <message>
        <source>Retention</source>
        <translation>Kapazitätserhalt</translation>
    </message>
    <message>
        <source>Trend per 100 cycles</source>
        <translation>Trend je 100 Zyklen</translation>
    </message>
    <message>
        <source>End of life</source>
        <translation>Lebensende</translation>
    </message>
    <message>
        <source>Last used</source>
        <translation>Zuletzt benutzt</translation>
    </message>
    <message>
        <source>Rated capacity</source>
        <translation>Nennkapazität</translation>
    </message>
    <message>
        <source>Rated cycles</source>
        <translation>Nennzyklen</translation>
    </message>
    <message>
        <source>Due</source>
        <translation>Fällig</translation>
    </message>
    <message>
        <source>Chemistry</source>
        <translation>Chemie</translation>
    </message>
    <message>
        <source>Cells</source>
        <translation>Zellen</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
</context>
<context>
    <name>Capture</name>
    <message>
        <source>%1 cannot be created: %2</source>
        <translation>%1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>%1 holds too many files of this name</source>
        <translation>%1 enthält zu viele Dateien dieses Namens</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>ChargerLog</name>
    <message>
        <source>%1, line %2: %3</source>
        <translation>%1, Zeile %2: %3</translation>
    </message>
    <message>
        <source>is a ZIP container (a charger program&apos;s own project file?), not a text log</source>
        <translation>ist ein ZIP-Container (die Projektdatei eines Ladegeräteprogramms?), kein Ladeprotokoll in Textform</translation>
    </message>
    <message>
        <source>holds binary data, not a text log</source>
        <translation>enthält Binärdaten, kein Ladeprotokoll in Textform</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a sample line (they begin with $)</source>
        <translation>„%1“ ist keine Messzeile (diese beginnen mit $)</translation>
    </message>
    <message>
        <source>has more than %1 fields</source>
        <translation>hat mehr als %1 Felder</translation>
    </message>
    <message>
        <source>field %1 is not a whole number</source>
        <translation>Feld %1 ist keine ganze Zahl</translation>
    </message>
    <message>
        <source>the channel is not 1 or 2</source>
        <translation>der Kanal ist nicht 1 oder 2</translation>
    </message>
    <message>
        <source>belongs to channel %1, the log to channel %2</source>
        <translation>gehört zu Kanal %1, das Ladeprotokoll zu Kanal %2</translation>
    </message>
    <message>
        <source>a resistance line with %1 fields</source>
        <translation>eine Widerstandszeile mit %1 Feldern</translation>
    </message>
    <message>
        <source>has %1 fields; a sample has 18 to 22</source>
        <translation>hat %1 Felder; eine Messzeile hat 18 bis 22</translation>
    </message>
    <message>
        <source>has %1 cell columns, the lines before %2</source>
        <translation>hat %1 Zellspalten, die Zeilen davor %2</translation>
    </message>
    <message>
        <source>the time goes back</source>
        <translation>die Zeit läuft zurück</translation>
    </message>
    <message>
        <source>has %1 fields, the file %2</source>
        <translation>hat %1 Felder, die Datei %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; in column %2 is not a number</source>
        <translation>„%1“ in Spalte %2 ist keine Zahl</translation>
    </message>
    <message>
        <source>has no time</source>
        <translation>hat keine Zeit</translation>
    </message>
    <message>
        <source>%1 has no column with the time of each sample</source>
        <translation>%1 hat keine Spalte mit der Zeit jeder Messung</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>%1 has no column titles</source>
        <translation>%1 hat keine Spaltentitel</translation>
    </message>
    <message>
        <source>%1, line %2: none of the column titles is one a charger log has</source>
        <translation>%1, Zeile %2: keiner der Spaltentitel gehört zu einem Ladeprotokoll</translation>
    </message>
    <message>
        <source>%1, line %2: not a row of column titles</source>
        <translation>%1, Zeile %2: keine Zeile mit Spaltentiteln</translation>
    </message>
    <message>
        <source>%1, line %2: only one column</source>
        <translation>%1, Zeile %2: nur eine Spalte</translation>
    </message>
    <message>
        <source>Column %1</source>
        <translation>Spalte %1</translation>
    </message>
    <message>
        <source>(not used)</source>
        <translation>(nicht benutzt)</translation>
    </message>
    <message>
        <source>Time [s]</source>
        <translation>Zeit [s]</translation>
    </message>
    <message>
        <source>Time [ms]</source>
        <translation>Zeit [ms]</translation>
    </message>
    <message>
        <source>Date-time (Unix seconds)</source>
        <translation>Datum/Zeit (Unix-Sekunden)</translation>
    </message>
    <message>
        <source>Voltage [V]</source>
        <translation>Spannung [V]</translation>
    </message>
    <message>
        <source>Voltage [mV]</source>
        <translation>Spannung [mV]</translation>
    </message>
    <message>
        <source>Current [A]</source>
        <translation>Strom [A]</translation>
    </message>
    <message>
        <source>Current [mA]</source>
        <translation>Strom [mA]</translation>
    </message>
    <message>
        <source>Capacity [Ah]</source>
        <translation>Kapazität [Ah]</translation>
    </message>
    <message>
        <source>Capacity [mAh]</source>
        <translation>Kapazität [mAh]</translation>
    </message>
    <message>
        <source>Temperature [°C]</source>
        <translation>Temperatur [°C]</translation>
    </message>
    <message>
        <source>Cell voltage [V]</source>
        <translation>Zellspannung [V]</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <source>$ lines</source>
        <translation>$-Zeilen</translation>
    </message>
    <message>
        <source>titled columns</source>
        <translation>Spalten mit Titeln</translation>
    </message>
    <message>
        <source>untitled columns</source>
        <translation>Spalten ohne Titel</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <translation>%1 ist leer</translation>
    </message>
    <message>
        <source>%1 holds no samples</source>
        <translation>%1 enthält keine Messwerte</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 gibt es nicht</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>%1 is larger than %2 MiB</source>
        <translation>%1 ist größer als %2 MiB</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Messwerte</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Charged</source>
        <translation>Geladen</translation>
    </message>
    <message>
        <source>Discharged</source>
        <translation>Entladen</translation>
    </message>
    <message>
        <source>Energy</source>
        <translation>Energie</translation>
    </message>
    <message>
        <source>Highest voltage</source>
        <translation>Höchste Spannung</translation>
    </message>
    <message>
        <source>Final voltage</source>
        <translation>Endspannung</translation>
    </message>
    <message>
        <source>Highest temperature</source>
        <translation>Höchste Temperatur</translation>
    </message>
    <message>
        <source>Cells</source>
        <translation>Zellen</translation>
    </message>
    <message>
        <source>Cell spread</source>
        <translation>Zellenabweichung</translation>
    </message>
    <message>
        <source>Internal resistance</source>
        <translation>Innenwiderstand</translation>
    </message>
    <message numerus="yes">
        <source>%1: %n more line(s) skipped</source>
        <translation>
            <numerusform>%1: %n weitere Zeile übersprungen</numerusform>
            <numerusform>%1: %n weitere Zeilen übersprungen</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 holds more than %2 values</source>
        <translation>%1 enthält mehr als %2 Werte</translation>
    </message>
    <message>
        <source>is longer than %1 bytes</source>
        <translation>ist länger als %1 Bytes</translation>
    </message>
    <message>
        <source>its checksum is %1, its bytes give %2</source>
        <translation>ihre Prüfsumme ist %1, ihre Bytes ergeben %2</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>--log-file needs a file path</source>
        <translation>--log-file braucht einen Dateipfad</translation>
    </message>
    <message>
        <source>--export-csv needs a file path, or - for standard output</source>
        <translation>--export-csv braucht einen Dateipfad oder - für die Standardausgabe</translation>
    </message>
    <message>
        <source>--import-csv needs a file path</source>
        <translation>--import-csv braucht einen Dateipfad</translation>
    </message>
    <message>
        <source>--export-csv and --import-csv cannot be given together</source>
        <translation>--export-csv und --import-csv gehen nicht zusammen</translation>
    </message>
    <message>
        <source>--charger-log needs the path of a charger&apos;s log file</source>
        <translation>--charger-log braucht den Pfad einer Ladeprotokolldatei</translation>
    </message>
    <message>
        <source>--csv goes with --report or --charger-log</source>
        <translation>--csv gehört zu --report oder --charger-log</translation>
    </message>
    <message>
        <source>unrecognised option &apos;%1&apos;</source>
        <translation>unbekannte Option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--capture needs the path of a serial port</source>
        <translation>--capture braucht den Pfad einer seriellen Schnittstelle</translation>
    </message>
    <message>
        <source>--baud needs a speed, such as 9600</source>
        <translation>--baud braucht eine Geschwindigkeit, etwa 9600</translation>
    </message>
    <message>
        <source>--capture-idle needs a number of seconds</source>
        <translation>--capture-idle braucht eine Anzahl Sekunden</translation>
    </message>
    <message>
        <source>--baud needs a speed, such as 9600, not &quot;%1&quot;</source>
        <translation>--baud braucht eine Geschwindigkeit, etwa 9600, nicht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--capture-idle takes 2 to 3600 seconds, not &quot;%1&quot;</source>
        <translation>--capture-idle nimmt 2 bis 3600 Sekunden, nicht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--baud, --capture-idle and --capture-add go with --capture</source>
        <translation>--baud, --capture-idle und --capture-add gehören zu --capture</translation>
    </message>
    <message>
        <source>Usage: %1 [OPTION]...
Keep a log of the charges of rechargeable batteries: a table and a chart per
battery, with charges added by hand or by other programs over the session bus.

Options:
      --log-file PATH  keep the charge log in PATH instead of the one below
      --report         print the health figures of every battery and exit
      --due            print what each battery needs next, one line
                       BATTERY: WHAT for each thing due, and exit
      --csv            with --report: print it as CSV; with --charger-log:
                       print the log&apos;s samples as CSV
      --charger-log FILE
                       print the figures of a charger&apos;s own log file (the
                       samples a charger, analyser or logger wrote) and exit
      --export-csv FILE
                       write every charge of the log to FILE as CSV (- for
                       standard output) and exit; a running QorLog is not
                       disturbed
      --import-csv FILE
                       add the charges in the CSV file FILE to the log and
                       exit; a running QorLog is handed the import
      --capture DEVICE [--baud N] [--capture-idle SECONDS] [--capture-add]
                       capture a charger on the serial port DEVICE (at N baud,
                       9600 unless given; a charge ends after SECONDS without
                       data, 30 unless given; with --capture-add each record
                       is added without asking); a running QorLog is handed
                       the capture; exit 0 once the port is open
  -RegServer           register the automation service for this user and exit
  -UnregServer         remove the automation service registration and exit
  -Automation          start for an automation client (the session bus uses it)
  -Embedding           the same as -Automation
      --help           display this help and exit
      --version        output version information and exit

The switches -RegServer, -UnregServer, -Automation and -Embedding may also
begin with &quot;/&quot; and are matched in any letter case. When QorLog is already
running, starting it again only brings its window to the front. The log lies
beside the program, or in the user&apos;s data folder when the program&apos;s folder
cannot be written.
</source>
        <translation>Aufruf: %1 [OPTION]...
Führt ein Ladebuch für Akkus: eine Tabelle und ein Diagramm je Akku, mit
Ladungen von Hand oder von anderen Programmen über den Session-Bus.

Optionen:
      --log-file PATH  das Ladebuch in PATH statt in der unten genannten Datei
      --report         die Zustandswerte jedes Akkus ausgeben und beenden
      --due            ausgeben, was jeder Akku als Nächstes braucht, eine Zeile
                       AKKU: WAS je fällige Sache, und beenden
      --csv            mit --report: als CSV ausgeben; mit --charger-log:
                       die Messwerte des Ladeprotokolls als CSV ausgeben
      --charger-log FILE
                       die Werte der Ladeprotokolldatei FILE eines Ladegeräts
                       (Messwerte eines Ladegeräts, Analysators oder Loggers)
                       ausgeben und beenden
      --export-csv FILE
                       alle Ladungen des Ladebuchs als CSV in FILE schreiben
                       (- für die Standardausgabe) und beenden; ein laufendes
                       QorLog wird nicht gestört
      --import-csv FILE
                       die Ladungen der CSV-Datei FILE ins Ladebuch übernehmen
                       und beenden; ein laufendes QorLog übernimmt den Import
      --capture DEVICE [--baud N] [--capture-idle SECONDS] [--capture-add]
                       ein Ladegerät an der seriellen Schnittstelle DEVICE
                       mitschreiben (mit N Baud, sonst 9600; eine Ladung endet
                       nach SECONDS Sekunden ohne Daten, sonst 30; mit
                       --capture-add wird jeder Eintrag ohne Rückfrage
                       hinzugefügt); ein laufendes QorLog übernimmt das
                       Mitschreiben; Status 0, sobald die Schnittstelle offen ist
  -RegServer           den Automatisierungsdienst für diesen Benutzer
                       registrieren und beenden
  -UnregServer         die Registrierung des Dienstes entfernen und beenden
  -Automation          für einen Automatisierungs-Client starten (der
                       Session-Bus verwendet es)
  -Embedding           dasselbe wie -Automation
      --help           diese Hilfe anzeigen und beenden
      --version        Versionsinformation ausgeben und beenden

Die Schalter -RegServer, -UnregServer, -Automation und -Embedding dürfen auch
mit &quot;/&quot; beginnen; Groß- und Kleinschreibung zählt nicht. Läuft QorLog schon,
holt ein weiterer Start nur dessen Fenster nach vorn. Das Ladebuch liegt
neben dem Programm oder im Datenordner des Benutzers, wenn der Ordner des
Programms nicht beschreibbar ist.
</translation>
    </message>
</context>
<context>
    <name>ConflictCopies</name>
    <message>
        <source>The conflict copy %1 cannot be read completely, so nothing was taken from it; it stays where it is:
%2</source>
        <translation>Die Konfliktkopie %1 ist nicht vollständig lesbar, daher wurde nichts aus ihr übernommen; sie bleibt, wo sie ist:
%2</translation>
    </message>
    <message numerus="yes">
        <source>%n charges merged from the conflict copy %1</source>
        <translation>
            <numerusform>%n Ladung aus der Konfliktkopie %1 übernommen</numerusform>
            <numerusform>%n Ladungen aus der Konfliktkopie %1 übernommen</numerusform>
        </translation>
    </message>
    <message>
        <source>1 charge merged from the conflict copy %1</source>
        <translation>1 Ladung aus der Konfliktkopie %1 übernommen</translation>
    </message>
    <message>
        <source>Merged from the conflict copy %1: %2 added, %3 changed, %4 removed.</source>
        <translation>Aus der Konfliktkopie %1 übernommen: %2 hinzugefügt, %3 geändert, %4 entfernt.</translation>
    </message>
    <message numerus="yes">
        <source>%n battery cards merged from the conflict copy %1</source>
        <translation>
            <numerusform>%n Akkukarten aus der Konfliktkopie %1 zusammengeführt</numerusform>
            <numerusform>%n Akkukarten aus der Konfliktkopie %1 zusammengeführt</numerusform>
        </translation>
    </message>
    <message>
        <source>1 battery card merged from the conflict copy %1</source>
        <translation>1 Akkukarte aus der Konfliktkopie %1 zusammengeführt</translation>
    </message>
</context>
<context>
    <name>CsvFile</name>
    <message>
        <source>The CSV file cannot be written: %1</source>
        <translation>Die CSV-Datei kann nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>The CSV file %1 cannot be written: %2</source>
        <translation>Die CSV-Datei %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>text follows a closing quote</source>
        <translation>auf ein schließendes Anführungszeichen folgt Text</translation>
    </message>
    <message>
        <source>The file is empty</source>
        <translation>Die Datei ist leer</translation>
    </message>
    <message>
        <source>The file is larger than %1 MiB, the most QorLog imports at once</source>
        <translation>Die Datei ist größer als %1 MiB, das Meiste, was QorLog auf einmal importiert</translation>
    </message>
    <message>
        <source>The file is not a text file: it holds binary data</source>
        <translation>Die Datei ist keine Textdatei: sie enthält Binärdaten</translation>
    </message>
    <message>
        <source>The file %1 cannot be read: %2</source>
        <translation>Die Datei %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>a quote is not closed</source>
        <translation>ein Anführungszeichen wird nicht geschlossen</translation>
    </message>
    <message>
        <source>the quote opened in line %1 is not closed</source>
        <translation>das in Zeile %1 geöffnete Anführungszeichen wird nicht geschlossen</translation>
    </message>
</context>
<context>
    <name>CsvImport</name>
    <message>
        <source>(ignore)</source>
        <translation>(ignorieren)</translation>
    </message>
    <message>
        <source>No column is taken as the date: choose DateTime, DayCount or Date for one of them</source>
        <translation>Keine Spalte dient als Datum: wählen Sie DateTime, DayCount oder Date für eine davon</translation>
    </message>
    <message>
        <source>the row has %1 fields where the file has %2</source>
        <translation>die Zeile hat %1 Felder, die Datei %2</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a day count</source>
        <translation>&apos;%1&apos; ist keine Tageszahl</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a date and time</source>
        <translation>&apos;%1&apos; ist kein Datum mit Uhrzeit</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a date</source>
        <translation>&apos;%1&apos; ist kein Datum</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a time of day</source>
        <translation>&apos;%1&apos; ist keine Uhrzeit</translation>
    </message>
    <message>
        <source>the row has no date</source>
        <translation>die Zeile hat kein Datum</translation>
    </message>
    <message>
        <source>%1 &apos;%2&apos; is not a number</source>
        <translation>%1 &apos;%2&apos; ist keine Zahl</translation>
    </message>
    <message>
        <source>Imported 1 charge</source>
        <translation>1 Ladung importiert</translation>
    </message>
    <message>
        <source>Imported %1 charges</source>
        <translation>%1 Ladungen importiert</translation>
    </message>
    <message>
        <source>, skipped 1 already in the log.</source>
        <translation>, 1 schon im Ladebuch vorhandene übersprungen.</translation>
    </message>
    <message>
        <source>, skipped %1 already in the log.</source>
        <translation>, %1 schon im Ladebuch vorhandene übersprungen.</translation>
    </message>
    <message>
        <source>1 row could not be read:</source>
        <translation>1 Zeile konnte nicht gelesen werden:</translation>
    </message>
    <message>
        <source>%1 rows could not be read:</source>
        <translation>%1 Zeilen konnten nicht gelesen werden:</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>The dates of the file can be read day first or month first: &apos;%1&apos; is %2 or %3. Choose which in the Import CSV dialog.</source>
        <translation>Die Daten der Datei können mit dem Tag oder mit dem Monat zuerst gelesen werden: &apos;%1&apos; ist %2 oder %3. Wählen Sie im Dialog CSV importieren, welches gilt.</translation>
    </message>
    <message numerus="yes">
        <source>, skipped %1 already in the log and %n repeated in the file.</source>
        <translation>
            <numerusform>, %1 bereits im Protokoll und %n in der Datei wiederholte übersprungen.</numerusform>
            <numerusform>, %1 bereits im Protokoll und %n in der Datei wiederholte übersprungen.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ErrorBox</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>An unknown error occurred</source>
        <translation>Ein unbekannter Fehler ist aufgetreten</translation>
    </message>
    <message>
        <source>QorLog</source>
        <translation>QorLog</translation>
    </message>
</context>
<context>
    <name>FilterStatus</name>
    <message>
        <source>1 charge</source>
        <translation>1 Ladung</translation>
    </message>
    <message>
        <source>%1 charges</source>
        <translation>%1 Ladungen</translation>
    </message>
    <message>
        <source>1 power source</source>
        <translation>1 Stromquelle</translation>
    </message>
    <message>
        <source>%1 power sources</source>
        <translation>%1 Stromquellen</translation>
    </message>
    <message>
        <source>1 battery</source>
        <translation>1 Akku</translation>
    </message>
    <message>
        <source>%1 batteries</source>
        <translation>%1 Akkus</translation>
    </message>
    <message>
        <source>1 charger</source>
        <translation>1 Ladegerät</translation>
    </message>
    <message>
        <source>%1 chargers</source>
        <translation>%1 Ladegeräte</translation>
    </message>
    <message>
        <source>1 termination</source>
        <translation>1 Ladeende</translation>
    </message>
    <message>
        <source>%1 terminations</source>
        <translation>%1 Ladeenden</translation>
    </message>
    <message>
        <source>Filter: %1 hidden (%2)</source>
        <translation>Filter: %1 ausgeblendet (%2)</translation>
    </message>
    <message>
        <source>1 charge would be deleted.</source>
        <translation>1 Ladung würde gelöscht.</translation>
    </message>
    <message>
        <source>%1 charges would be deleted.</source>
        <translation>%1 Ladungen würden gelöscht.</translation>
    </message>
</context>
<context>
    <name>LogFile</name>
    <message>
        <source>The log file %1 cannot be read: %2</source>
        <translation>Die Ladebuchdatei %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The log file %1 cannot be written: %2</source>
        <translation>Die Ladebuchdatei %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>The log file %1 cannot be read: out of memory</source>
        <translation>Die Ladebuchdatei %1 kann nicht gelesen werden: kein Speicher mehr frei</translation>
    </message>
    <message>
        <source>The log file %1 is damaged: %2 (line %3, column %4)</source>
        <translation>Die Ladebuchdatei %1 ist beschädigt: %2 (Zeile %3, Spalte %4)</translation>
    </message>
    <message>
        <source>The log file %1 is damaged: it declares entities, which a log file never holds</source>
        <translation>Die Ladebuchdatei %1 ist beschädigt: sie deklariert Entitäten, die ein Ladebuch nie enthält</translation>
    </message>
    <message>
        <source>The log file %1 is damaged: the entity %2 is not declared (line %3, column %4)</source>
        <translation>Die Ladebuchdatei %1 ist beschädigt: die Entität %2 ist nicht deklariert (Zeile %3, Spalte %4)</translation>
    </message>
    <message>
        <source>The log file %1 cannot be read: it is not a regular file</source>
        <translation>Die Ladebuchdatei %1 kann nicht gelesen werden: Sie ist keine gewöhnliche Datei</translation>
    </message>
</context>
<context>
    <name>LogMerge</name>
    <message numerus="yes">
        <source>… and %n more</source>
        <translation>
            <numerusform>… und %n weitere</numerusform>
            <numerusform>… und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>The versions not kept are in the backups.</source>
        <translation>Die nicht behaltenen Fassungen liegen in den Sicherungen.</translation>
    </message>
    <message>
        <source>Charge of %1 (%2)</source>
        <translation>Ladung vom %1 (%2)</translation>
    </message>
    <message>
        <source>%1: edited on another desktop too: kept the later edit</source>
        <translation>%1: auch auf einem anderen Rechner bearbeitet: die spätere Bearbeitung bleibt</translation>
    </message>
    <message>
        <source>%1: deleted on another desktop, but edited here afterwards: kept</source>
        <translation>%1: auf einem anderen Rechner gelöscht, hier aber danach bearbeitet: bleibt</translation>
    </message>
    <message>
        <source>%1: edited here, but deleted on another desktop afterwards: deleted</source>
        <translation>%1: hier bearbeitet, auf einem anderen Rechner aber danach gelöscht: gelöscht</translation>
    </message>
    <message>
        <source>%1: deleted here, but edited on another desktop afterwards: brought back</source>
        <translation>%1: hier gelöscht, auf einem anderen Rechner aber danach bearbeitet: wieder da</translation>
    </message>
    <message>
        <source>%1: edited on another desktop, but deleted here afterwards: stays deleted</source>
        <translation>%1: auf einem anderen Rechner bearbeitet, hier aber danach gelöscht: bleibt gelöscht</translation>
    </message>
</context>
<context>
    <name>NumberText</name>
    <message>
        <source>&apos;%1&apos; is not a valid floating point value</source>
        <translation>&apos;%1&apos; ist keine gültige Gleitkommazahl</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>&apos;%1&apos; ist keine gültige Ganzzahl</translation>
    </message>
</context>
<context>
    <name>QorLogRegistration</name>
    <message>
        <source>%1: cannot create the folder</source>
        <translation>%1: der Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>The program path cannot be registered: it holds a line break</source>
        <translation>Der Programmpfad kann nicht registriert werden: er enthält einen Zeilenumbruch</translation>
    </message>
    <message>
        <source>The program path cannot be registered: it is not absolute</source>
        <translation>Der Programmpfad kann nicht registriert werden: er ist nicht absolut</translation>
    </message>
    <message>
        <source>Error creating system registry entry</source>
        <translation>Fehler beim Anlegen des Registrierungseintrags</translation>
    </message>
</context>
<context>
    <name>TBackupStore</name>
    <message>
        <source>the folder %1 cannot be made</source>
        <translation>der Ordner %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>The backup of the log file %1 could not be written (%2)</source>
        <translation>Die Sicherung der Ladebuchdatei %1 konnte nicht geschrieben werden (%2)</translation>
    </message>
    <message>
        <source>%1 cannot be removed</source>
        <translation>%1 kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>The conflict copy %1 could not be moved to the backups (%2)</source>
        <translation>Die Konfliktkopie %1 konnte nicht zu den Sicherungen verschoben werden (%2)</translation>
    </message>
    <message>
        <source>%1 is taken by something that is no backup</source>
        <translation>%1 ist von etwas belegt, das keine Sicherung ist</translation>
    </message>
    <message>
        <source>A copy of the damaged log file %1 could not be made: %2</source>
        <translation>Von der beschädigten Ladebuchdatei %1 konnte keine Kopie angelegt werden: %2</translation>
    </message>
    <message>
        <source>the name is taken</source>
        <translation>der Name ist belegt</translation>
    </message>
</context>
<context>
    <name>TBarChart</name>
    <message>
        <source>%1, %2 %3</source>
        <translation>%1, %2 %3</translation>
    </message>
    <message numerus="yes">
        <source>%n series</source>
        <translation>
            <numerusform>%n Reihe</numerusform>
            <numerusform>%n Reihen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n categories</source>
        <translation>
            <numerusform>%n Kategorie</numerusform>
            <numerusform>%n Kategorien</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TBatteryCardForm</name>
    <message>
        <source>Battery Card: %1</source>
        <translation>Akkukarte: %1</translation>
    </message>
    <message>
        <source>not known</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>Rated &amp;capacity (Ah):</source>
        <translation>Nenn&amp;kapazität (Ah):</translation>
    </message>
    <message>
        <source>Cells in &amp;series:</source>
        <translation>&amp;Zellen in Reihe:</translation>
    </message>
    <message>
        <source>C&amp;hemistry:</source>
        <translation>&amp;Chemie:</translation>
    </message>
    <message>
        <source>Rated c&amp;ycles:</source>
        <translation>Nennz&amp;yklen:</translation>
    </message>
    <message>
        <source>&amp;Bought:</source>
        <translation>&amp;Gekauft:</translation>
    </message>
    <message>
        <source>Serial or &amp;label:</source>
        <translation>Seriennummer oder &amp;Etikett:</translation>
    </message>
    <message>
        <source>S&amp;tate:</source>
        <translation>Zu&amp;stand:</translation>
    </message>
    <message>
        <source>N&amp;ote:</source>
        <translation>N&amp;otiz:</translation>
    </message>
    <message>
        <source>The rated capacity &quot;%1&quot; is not a number of amp-hours.</source>
        <translation>Die Nennkapazität „%1“ ist keine Zahl von Amperestunden.</translation>
    </message>
    <message>
        <source>No records of this battery are shown.</source>
        <translation>Von diesem Akku werden keine Einträge gezeigt.</translation>
    </message>
    <message>
        <source>Capacity %1 of the rating</source>
        <translation>Kapazität %1 der Nennkapazität</translation>
    </message>
    <message>
        <source>Capacity %1 of the first discharges</source>
        <translation>Kapazität %1 der ersten Entladungen</translation>
    </message>
    <message>
        <source>%1 of %2 rated cycles</source>
        <translation>%1 von %2 Nennzyklen</translation>
    </message>
    <message numerus="yes">
        <source>%n cycles</source>
        <translation>
            <numerusform>%n Zyklen</numerusform>
            <numerusform>%n Zyklen</numerusform>
        </translation>
    </message>
    <message>
        <source>end of life %1</source>
        <translation>Lebensende %1</translation>
    </message>
    <message>
        <source>Nothing is due.</source>
        <translation>Nichts ist fällig.</translation>
    </message>
    <message>
        <source>Due: %1</source>
        <translation>Fällig: %1</translation>
    </message>
    <message>
        <source>1 cycle</source>
        <translation>1 Zyklus</translation>
    </message>
</context>
<context>
    <name>TBatteryCommands</name>
    <message>
        <source>Battery &amp;Overview</source>
        <translation>Akku&amp;übersicht</translation>
    </message>
    <message>
        <source>&amp;Battery Details…</source>
        <translation>Akkud&amp;etails…</translation>
    </message>
    <message>
        <source>Battery C&amp;ard…</source>
        <translation>Akku&amp;karte…</translation>
    </message>
    <message>
        <source>&amp;Battery Card…</source>
        <translation>Akkukar&amp;te…</translation>
    </message>
    <message>
        <source>Show &amp;Retired Batteries</source>
        <translation>Ausgemus&amp;terte Akkus zeigen</translation>
    </message>
</context>
<context>
    <name>TBatteryDetailsForm</name>
    <message>
        <source>%1 (1 discharge)</source>
        <translation>%1 (1 Entladung)</translation>
    </message>
    <message>
        <source>%1 (%2 discharges)</source>
        <translation>%1 (%2 Entladungen)</translation>
    </message>
    <message>
        <source>Battery Details: %1</source>
        <translation>Akkudetails: %1</translation>
    </message>
    <message>
        <source>Cycles</source>
        <translation>Zyklen</translation>
    </message>
    <message>
        <source>Charges</source>
        <translation>Ladungen</translation>
    </message>
    <message>
        <source>Discharges</source>
        <translation>Entladungen</translation>
    </message>
    <message>
        <source>Ah charged</source>
        <translation>Ah geladen</translation>
    </message>
    <message>
        <source>Ah discharged</source>
        <translation>Ah entladen</translation>
    </message>
    <message>
        <source>Efficiency</source>
        <translation>Wirkungsgrad</translation>
    </message>
    <message>
        <source>First used</source>
        <translation>Zuerst benutzt</translation>
    </message>
    <message>
        <source>Last used</source>
        <translation>Zuletzt benutzt</translation>
    </message>
    <message>
        <source>Days since last use</source>
        <translation>Tage seit letzter Benutzung</translation>
    </message>
    <message>
        <source>Reference capacity</source>
        <translation>Bezugskapazität</translation>
    </message>
    <message>
        <source>Latest capacity</source>
        <translation>Letzte Kapazität</translation>
    </message>
    <message>
        <source>Retention</source>
        <translation>Kapazitätserhalt</translation>
    </message>
    <message>
        <source>Trend per 100 cycles</source>
        <translation>Trend je 100 Zyklen</translation>
    </message>
    <message>
        <source>Trend per year</source>
        <translation>Trend je Jahr</translation>
    </message>
    <message>
        <source>End of life</source>
        <translation>Lebensende</translation>
    </message>
    <message>
        <source>Terminations</source>
        <translation>Ladeenden</translation>
    </message>
    <message>
        <source>Charge</source>
        <translation>Ladung</translation>
    </message>
    <message>
        <source>Capacity</source>
        <translation>Kapazität</translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>80%</source>
        <translation>80 %</translation>
    </message>
    <message>
        <source>AmpHours</source>
        <translation>Amperestunden</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source> Ah</source>
        <translation> Ah</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1
%2 A, %3 Ah, %4</source>
        <translation>%1
%2 A, %3 Ah, %4</translation>
    </message>
    <message>
        <source>Charges and capacity of %1</source>
        <translation>Ladungen und Kapazität von %1</translation>
    </message>
    <message>
        <source>reached on %1</source>
        <translation>erreicht am %1</translation>
    </message>
    <message>
        <source>Shown from %1 discharges over at least %2 days; this battery has %3 over %4 days.</source>
        <translation>Angezeigt ab %1 Entladungen über mindestens %2 Tage; dieser Akku hat %3 über %4 Tage.</translation>
    </message>
    <message>
        <source>The battery was never discharged.</source>
        <translation>Der Akku wurde nie entladen.</translation>
    </message>
    <message>
        <source>Charge (Ah charged)</source>
        <translation>Ladung (Ah geladen)</translation>
    </message>
    <message>
        <source>Capacity (Ah discharged)</source>
        <translation>Kapazität (Ah entladen)</translation>
    </message>
    <message>
        <source>End of life (80% of the reference capacity)</source>
        <translation>Lebensende (80 % der Bezugskapazität)</translation>
    </message>
    <message>
        <source>Final voltage</source>
        <translation>Endspannung</translation>
    </message>
    <message>
        <source>Due</source>
        <translation>Fällig</translation>
    </message>
    <message>
        <source>Battery Card…</source>
        <translation>Akkukarte…</translation>
    </message>
    <message>
        <source>%1 V (the card gives no cells and chemistry to judge it by)</source>
        <translation>%1 V (die Karte nennt keine Zellen und Chemie, um sie zu beurteilen)</translation>
    </message>
    <message>
        <source>%1 of %2 rated</source>
        <translation>%1 von %2 Nennzyklen</translation>
    </message>
    <message>
        <source>%1 (rating)</source>
        <translation>%1 (Nennwert)</translation>
    </message>
</context>
<context>
    <name>TBatteryLogHealthView</name>
    <message>
        <source>Cell spread and resistance of %1</source>
        <translation>Zellenabweichung und Innenwiderstand von %1</translation>
    </message>
    <message>
        <source>Cell spread</source>
        <translation>Zellenabweichung</translation>
    </message>
    <message>
        <source>Resistance</source>
        <translation>Innenwiderstand</translation>
    </message>
    <message>
        <source>Cell spread (mV)</source>
        <translation>Zellenabweichung (mV)</translation>
    </message>
    <message>
        <source>Resistance (mΩ)</source>
        <translation>Innenwiderstand (mΩ)</translation>
    </message>
    <message>
        <source>Cell spread: %1</source>
        <translation>Zellenabweichung: %1</translation>
    </message>
    <message>
        <source>Resistance: %1</source>
        <translation>Innenwiderstand: %1</translation>
    </message>
    <message>
        <source>The charger logs of this battery give no cell spread or resistance.</source>
        <translation>Die Ladeprotokolle dieses Akkus enthalten weder Zellenabweichung noch Innenwiderstand.</translation>
    </message>
    <message>
        <source>Reading charger logs: %v of %m</source>
        <translation>Ladeprotokolle werden gelesen: %v von %m</translation>
    </message>
    <message>
        <source>Reading charger logs</source>
        <translation>Ladeprotokolle werden gelesen</translation>
    </message>
    <message>
        <source>%1 mV</source>
        <translation>%1 mV</translation>
    </message>
    <message>
        <source>%1 mΩ</source>
        <translation>%1 mΩ</translation>
    </message>
</context>
<context>
    <name>TBatteryOverviewForm</name>
    <message>
        <source>Battery Overview</source>
        <translation>Akkuübersicht</translation>
    </message>
    <message>
        <source>Figures per battery</source>
        <translation>Werte je Akku</translation>
    </message>
    <message>
        <source>Battery Card…</source>
        <translation>Akkukarte…</translation>
    </message>
    <message>
        <source>Show retired batteries</source>
        <translation>Ausgemusterte Akkus zeigen</translation>
    </message>
    <message>
        <source>Due Settings…</source>
        <translation>Fälligkeiten…</translation>
    </message>
</context>
<context>
    <name>TBatteryOverviewModel</name>
    <message>
        <source>Last %1 against first %2 discharges</source>
        <translation>Letzte %1 gegen erste %2 Entladungen</translation>
    </message>
    <message>
        <source>From %1 discharges</source>
        <translation>Aus %1 Entladungen</translation>
    </message>
    <message>
        <source>The latest of its charger logs</source>
        <translation>Aus dem neuesten seiner Ladeprotokolle</translation>
    </message>
    <message>
        <source>Last %1 discharges against the rating of %2</source>
        <translation>Letzte %1 Entladungen gegen die Nennkapazität von %2</translation>
    </message>
</context>
<context>
    <name>TCaptureCommands</name>
    <message>
        <source>&amp;Capture from Charger…</source>
        <translation>Vom Ladegerät &amp;mitschreiben…</translation>
    </message>
    <message>
        <source>%1 is already being captured.</source>
        <translation>%1 wird schon mitgeschrieben.</translation>
    </message>
    <message>
        <source>There is no folder to keep the captured charger logs in: neither %1 nor %2 can be written.</source>
        <translation>Es gibt keinen Ordner für die mitgeschriebenen Ladeprotokolle: weder %1 noch %2 kann beschrieben werden.</translation>
    </message>
    <message>
        <source>%1, channel %2</source>
        <translation>%1, Kanal %2</translation>
    </message>
    <message>
        <source>Discharge of %1 ended: %2 Ah in %3</source>
        <translation>Entladung von %1 beendet: %2 Ah in %3</translation>
    </message>
    <message>
        <source>Charge of %1 ended: %2 Ah in %3</source>
        <translation>Ladung von %1 beendet: %2 Ah in %3</translation>
    </message>
    <message>
        <source>the battery on channel %1</source>
        <translation>dem Akku an Kanal %1</translation>
    </message>
    <message>
        <source>%1. The record was added (Edit &gt; Undo takes it back).</source>
        <translation>%1. Der Eintrag wurde hinzugefügt (Bearbeiten &gt; Rückgängig nimmt ihn zurück).</translation>
    </message>
</context>
<context>
    <name>TCaptureForm</name>
    <message>
        <source>Capture from Charger</source>
        <translation>Vom Ladegerät mitschreiben</translation>
    </message>
    <message>
        <source>/dev/ttyUSB0</source>
        <translation>/dev/ttyUSB0</translation>
    </message>
    <message>
        <source>Serial &amp;port:</source>
        <translation>Serielle &amp;Schnittstelle:</translation>
    </message>
    <message>
        <source>&amp;Speed (baud):</source>
        <translation>&amp;Geschwindigkeit (Baud):</translation>
    </message>
    <message>
        <source>End after </source>
        <translation>Ende nach </translation>
    </message>
    <message>
        <source> s without data</source>
        <translation> s ohne Daten</translation>
    </message>
    <message>
        <source>&amp;End:</source>
        <translation>&amp;Ende:</translation>
    </message>
    <message>
        <source>&amp;Add the record without asking</source>
        <translation>Eintrag ohne Rückfrage &amp;hinzufügen</translation>
    </message>
    <message>
        <source>S&amp;tart</source>
        <translation>S&amp;tarten</translation>
    </message>
    <message>
        <source>No serial port is there: plug the charger in, or type the path of one.</source>
        <translation>Keine serielle Schnittstelle vorhanden: Ladegerät anschließen oder den Pfad einer Schnittstelle eingeben.</translation>
    </message>
    <message>
        <source>Choose a serial port or type its path.</source>
        <translation>Eine serielle Schnittstelle wählen oder ihren Pfad eingeben.</translation>
    </message>
</context>
<context>
    <name>TCapturePanel</name>
    <message>
        <source>Charge</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Discharge</source>
        <translation>Entladen</translation>
    </message>
    <message>
        <source>Rest</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Anderes</translation>
    </message>
    <message>
        <source>Running captures</source>
        <translation>Laufende Mitschriften</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>Mitschrift</translation>
    </message>
    <message>
        <source>Phase</source>
        <translation>Phase</translation>
    </message>
    <message>
        <source>Elapsed</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>V</source>
        <translation>V</translation>
    </message>
    <message>
        <source>A</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Ah</source>
        <translation>Ah</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Stop the capture of %1</source>
        <translation>Mitschrift von %1 beenden</translation>
    </message>
    <message>
        <source>Port gone: opening again every 2 s</source>
        <translation>Schnittstelle weg: alle 2 s neu geöffnet</translation>
    </message>
    <message>
        <source>Waiting for a charge</source>
        <translation>Warte auf eine Ladung</translation>
    </message>
    <message>
        <source>%1, channel %2</source>
        <translation>%1, Kanal %2</translation>
    </message>
    <message>
        <source>Port gone</source>
        <translation>Schnittstelle weg</translation>
    </message>
</context>
<context>
    <name>TChannelCapture</name>
    <message>
        <source>There is no folder to keep the captured charger logs in</source>
        <translation>Es gibt keinen Ordner für die mitgeschriebenen Ladeprotokolle</translation>
    </message>
</context>
<context>
    <name>TChargeChart</name>
    <message>
        <source>Cycles</source>
        <translation>Zyklen</translation>
    </message>
    <message>
        <source>Charge</source>
        <translation>Ladung</translation>
    </message>
    <message>
        <source>Discharge</source>
        <translation>Entladung</translation>
    </message>
    <message>
        <source> Ah</source>
        <translation> Ah</translation>
    </message>
    <message numerus="yes">
        <source>%n batteries</source>
        <translation>
            <numerusform>%n Akku</numerusform>
            <numerusform>%n Akkus</numerusform>
        </translation>
    </message>
    <message>
        <source>1 battery</source>
        <translation>1 Akku</translation>
    </message>
    <message>
        <source>AmpHours (Ah)</source>
        <translation>Amperestunden (Ah)</translation>
    </message>
</context>
<context>
    <name>TChargeDataForm</name>
    <message>
        <source>ChargeData</source>
        <translation>Ladedaten</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>PowerSource</source>
        <translation>Stromquelle</translation>
    </message>
    <message>
        <source>Charger</source>
        <translation>Ladegerät</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Akku</translation>
    </message>
    <message>
        <source>Nominal Charge Amps</source>
        <translation>Nennladestrom (A)</translation>
    </message>
    <message>
        <source>AmpHours</source>
        <translation>Amperestunden</translation>
    </message>
    <message>
        <source>Termination</source>
        <translation>Ladeende</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>Charger Log FileName</source>
        <translation>Ladeprotokolldatei</translation>
    </message>
    <message>
        <source>Choose the charger log file</source>
        <translation>Ladeprotokolldatei wählen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Empty value</source>
        <translation>Leerer Wert</translation>
    </message>
    <message>
        <source>Date is in the future</source>
        <translation>Das Datum liegt in der Zukunft</translation>
    </message>
    <message>
        <source>Show Charger Log</source>
        <translation>Ladeprotokoll anzeigen</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Datum und Uhrzeit</translation>
    </message>
    <message>
        <source>This charge was deleted elsewhere: OK stores nothing.</source>
        <translation>Diese Ladung wurde anderswo gelöscht: OK speichert nichts.</translation>
    </message>
    <message>
        <source>Changed elsewhere and shown here: %1.</source>
        <translation>Anderswo geändert und hier übernommen: %1.</translation>
    </message>
    <message>
        <source>Changed elsewhere and here: %1.</source>
        <translation>Anderswo und hier geändert: %1.</translation>
    </message>
    <message>
        <source>%1: %2 in the log, %3 here</source>
        <translation>%1: %2 im Ladebuch, %3 hier</translation>
    </message>
    <message>
        <source>This charge was changed elsewhere while the dialog was open, in fields you changed too:

%1

Store your values over the log&apos;s, or take the log&apos;s values into the dialog?</source>
        <translation>Diese Ladung wurde anderswo geändert, während der Dialog offen war, in Feldern, die Sie auch geändert haben:

%1

Ihre Werte über die des Ladebuchs speichern, oder die Werte des Ladebuchs in den Dialog übernehmen?</translation>
    </message>
    <message>
        <source>&amp;Keep Mine</source>
        <translation>&amp;Meine behalten</translation>
    </message>
    <message>
        <source>&amp;Take the Log&apos;s</source>
        <translation>Die des &amp;Ladebuchs übernehmen</translation>
    </message>
    <message>
        <source>The log&apos;s values were taken; OK stores them.</source>
        <translation>Die Werte des Ladebuchs wurden übernommen; OK speichert sie.</translation>
    </message>
</context>
<context>
    <name>TChargeLog</name>
    <message>
        <source>%1 must be a finite number, not %2</source>
        <translation>%1 muss eine endliche Zahl sein, nicht %2</translation>
    </message>
    <message>
        <source>%1 contains a control character that cannot be stored in the log file</source>
        <translation>%1 enthält ein Steuerzeichen, das die Ladebuchdatei nicht speichern kann</translation>
    </message>
    <message>
        <source>ChargerLogFileName cannot contain &quot;*&quot;</source>
        <translation>ChargerLogFileName darf kein &quot;*&quot; enthalten</translation>
    </message>
    <message>
        <source>%1 contains a character that cannot be stored in the log file</source>
        <translation>%1 enthält ein Zeichen, das die Ladebuchdatei nicht speichern kann</translation>
    </message>
    <message>
        <source>%1 is longer than %2 characters</source>
        <translation>%1 ist länger als %2 Zeichen</translation>
    </message>
</context>
<context>
    <name>TChargeLogDocument</name>
    <message>
        <source>%1.

QorLog goes on saving the log without backups.</source>
        <translation>%1.

QorLog speichert das Ladebuch weiter, ohne Sicherungen.</translation>
    </message>
    <message>
        <source>The file as it was has been kept as %1.</source>
        <translation>Die Datei, wie sie war, ist als %1 aufbewahrt.</translation>
    </message>
    <message>
        <source>QorLog shows the one charge it could read.</source>
        <translation>QorLog zeigt die eine Ladung, die es lesen konnte.</translation>
    </message>
    <message>
        <source>QorLog shows the %1 charges it could read.</source>
        <translation>QorLog zeigt die %1 Ladungen, die es lesen konnte.</translation>
    </message>
    <message>
        <source>The log file could not be read completely:
%1

%2 %3</source>
        <translation>Die Ladebuchdatei konnte nicht vollständig gelesen werden:
%1

%2 %3</translation>
    </message>
    <message>
        <source>Add Charge</source>
        <translation>Ladung hinzufügen</translation>
    </message>
    <message>
        <source>Edit Charge</source>
        <translation>Ladung bearbeiten</translation>
    </message>
    <message>
        <source>Delete 1 Charge</source>
        <translation>1 Ladung löschen</translation>
    </message>
    <message numerus="yes">
        <source>Delete %n Charges</source>
        <translation>
            <numerusform>%n Ladung löschen</numerusform>
            <numerusform>%n Ladungen löschen</numerusform>
        </translation>
    </message>
    <message>
        <source>The change cannot be made: key %1 is already in use.</source>
        <translation>Die Änderung ist nicht möglich: der Schlüssel %1 ist schon vergeben.</translation>
    </message>
    <message>
        <source>The change cannot be made: charge %1 names no known name.</source>
        <translation>Die Änderung ist nicht möglich: Ladung %1 nennt keinen bekannten Namen.</translation>
    </message>
    <message>
        <source>The backup %1 is not there any more</source>
        <translation>Die Sicherung %1 ist nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>Restore Backup</source>
        <translation>Sicherung wiederherstellen</translation>
    </message>
    <message>
        <source>Cycles Colour Change</source>
        <translation>Farbe der Zyklen ändern</translation>
    </message>
    <message>
        <source>Charge Colour Change</source>
        <translation>Farbe der Ladung ändern</translation>
    </message>
    <message>
        <source>Discharge Colour Change</source>
        <translation>Farbe der Entladung ändern</translation>
    </message>
    <message>
        <source>Change by Another Program</source>
        <translation>Änderung durch ein anderes Programm</translation>
    </message>
    <message>
        <source>The log file can be read again; QorLog saves it as before.</source>
        <translation>Das Ladebuch ist wieder lesbar; QorLog speichert es wie zuvor.</translation>
    </message>
    <message>
        <source>The log file could not be read:
%1

QorLog shows what it could read and saves nothing until the file can be read again; changes are refused meanwhile.</source>
        <translation>Das Ladebuch konnte nicht gelesen werden:
%1

QorLog zeigt, was es lesen konnte, und speichert nichts, bis die Datei wieder lesbar ist; Änderungen werden bis dahin abgelehnt.</translation>
    </message>
    <message>
        <source>Merge Conflict Copy</source>
        <translation>Konfliktkopie übernehmen</translation>
    </message>
    <message>
        <source>QorLog cannot write the log file %1: %2

It shows the log read-only: changes are refused until the file can be written.</source>
        <translation>QorLog kann die Ladebuchdatei %1 nicht schreiben: %2

Es zeigt das Ladebuch schreibgeschützt: Änderungen werden abgelehnt, bis die Datei geschrieben werden kann.</translation>
    </message>
    <message>
        <source>The conflict copy %1 could not be merged:
%2

It stays where it is; QorLog merges it once it can save the log.</source>
        <translation>Die Konfliktkopie %1 konnte nicht übernommen werden:
%2

Sie bleibt, wo sie ist; QorLog übernimmt sie, sobald es das Ladebuch speichern kann.</translation>
    </message>
    <message>
        <source>Edit Battery Card</source>
        <translation>Akkukarte bearbeiten</translation>
    </message>
    <message>
        <source>Merge Batteries</source>
        <translation>Akkus zusammenführen</translation>
    </message>
    <message>
        <source>Rename Battery</source>
        <translation>Akku umbenennen</translation>
    </message>
    <message>
        <source>Change Due Settings</source>
        <translation>Fälligkeiten ändern</translation>
    </message>
    <message>
        <source>QorLog is still saving the log; nothing was changed. Try again in a moment.</source>
        <translation>QorLog speichert das Ladebuch noch; nichts wurde geändert. Bitte gleich noch einmal versuchen.</translation>
    </message>
</context>
<context>
    <name>TChargeLogTableModel</name>
    <message>
        <source>Date-Time</source>
        <translation>Datum/Zeit</translation>
    </message>
    <message>
        <source>Power</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Charger</source>
        <translation>Ladegerät</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Akku</translation>
    </message>
    <message>
        <source>Amps</source>
        <translation>Ampere</translation>
    </message>
    <message>
        <source>AmpHours</source>
        <translation>Amperestunden</translation>
    </message>
    <message>
        <source>Termination</source>
        <translation>Ladeende</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>%1, discharge</source>
        <translation>%1, Entladung</translation>
    </message>
</context>
<context>
    <name>TChargeReport</name>
    <message>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <source>QorLog: %1</source>
        <translation>QorLog: %1</translation>
    </message>
    <message>
        <source>No charges are shown.</source>
        <translation>Es werden keine Ladungen gezeigt.</translation>
    </message>
    <message>
        <source>Charges from %1 to %2</source>
        <translation>Ladungen vom %1 bis %2</translation>
    </message>
    <message>
        <source>%1 of %2 charges are shown; the filters apply.</source>
        <translation>%1 von %2 Ladungen werden gezeigt; die Filter gelten.</translation>
    </message>
    <message>
        <source>Figures per battery</source>
        <translation>Werte je Akku</translation>
    </message>
    <message>
        <source>Charges</source>
        <translation>Ladungen</translation>
    </message>
    <message>
        <source>The report cannot be printed: the printer cannot be opened</source>
        <translation>Der Bericht kann nicht gedruckt werden: der Drucker lässt sich nicht öffnen</translation>
    </message>
    <message>
        <source>Export PDF</source>
        <translation>PDF exportieren</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>The report could not be written to %1</source>
        <translation>Der Bericht konnte nicht nach %1 geschrieben werden</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>PDF-Dateien (*.pdf)</translation>
    </message>
    <message>
        <source>The report (1 page) was written to %1.</source>
        <translation>Der Bericht (1 Seite) wurde nach %1 geschrieben.</translation>
    </message>
    <message>
        <source>The report (%1 pages) was written to %2.</source>
        <translation>Der Bericht (%1 Seiten) wurde nach %2 geschrieben.</translation>
    </message>
</context>
<context>
    <name>TChargerLogCommands</name>
    <message>
        <source>Add Charge from Charger Log</source>
        <translation>Ladung aus Ladeprotokoll hinzufügen</translation>
    </message>
    <message>
        <source>Charger logs (*.txt *.csv *.log);;All files (*)</source>
        <translation>Ladeprotokolle (*.txt *.csv *.log);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>No program could open %1</source>
        <translation>Kein Programm konnte %1 öffnen</translation>
    </message>
    <message>
        <source>The record is not in the log any more</source>
        <translation>Der Eintrag ist nicht mehr im Ladebuch</translation>
    </message>
    <message>
        <source>%1 moves no amp-hours</source>
        <translation>%1 bewegt keine Amperestunden</translation>
    </message>
    <message>
        <source>The charger log file %1 is not there</source>
        <translation>Die Ladeprotokolldatei %1 ist nicht da</translation>
    </message>
    <message>
        <source>S&amp;how Charger Log</source>
        <translation>Ladeprotokoll an&amp;zeigen</translation>
    </message>
    <message>
        <source>&amp;Add Charge from Charger Log…</source>
        <translation>Ladung aus &amp;Ladeprotokoll hinzufügen…</translation>
    </message>
    <message>
        <source>The columns of this log have no titles, and what QorLog took them for moves no amp-hours: choose what each column holds and read the file with them; the charge data dialog then opens.</source>
        <translation>Die Spalten dieses Ladeprotokolls haben keine Titel, und so, wie QorLog sie gedeutet hat, bewegen sie keine Amperestunden: wählen Sie, was jede Spalte enthält, und lesen Sie die Datei damit; dann öffnet sich der Ladedaten-Dialog.</translation>
    </message>
</context>
<context>
    <name>TChargerLogForm</name>
    <message>
        <source>charge</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>discharge</source>
        <translation>Entladen</translation>
    </message>
    <message>
        <source>rest</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>What each column holds:</source>
        <translation>Was jede Spalte enthält:</translation>
    </message>
    <message>
        <source>&amp;Read with These Columns</source>
        <translation>Mit diesen Spalten &amp;lesen</translation>
    </message>
    <message>
        <source>Samples of the charger&apos;s log over time</source>
        <translation>Messwerte des Ladeprotokolls über die Zeit</translation>
    </message>
    <message>
        <source>Time (h:mm:ss)</source>
        <translation>Zeit (h:mm:ss)</translation>
    </message>
    <message>
        <source>Voltage (V)</source>
        <translation>Spannung (V)</translation>
    </message>
    <message>
        <source>Current (A)</source>
        <translation>Strom (A)</translation>
    </message>
    <message>
        <source>Voltage</source>
        <translation>Spannung</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Strom</translation>
    </message>
    <message>
        <source>Capacity</source>
        <translation>Kapazität</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>Temperatur</translation>
    </message>
    <message>
        <source>C&amp;apacity (Ah, right axis)</source>
        <translation>&amp;Kapazität (Ah, rechte Achse)</translation>
    </message>
    <message>
        <source>&amp;Temperature (°C, right axis)</source>
        <translation>&amp;Temperatur (°C, rechte Achse)</translation>
    </message>
    <message>
        <source>Values under the mouse</source>
        <translation>Werte unter der Maus</translation>
    </message>
    <message>
        <source>&amp;Use the Log&apos;s Amp-Hours</source>
        <translation>Amperestunden des Ladeprotokolls &amp;übernehmen</translation>
    </message>
    <message>
        <source>&amp;Copy Samples as CSV</source>
        <translation>Messwerte als CSV &amp;kopieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Charger Log - %1</source>
        <translation>Ladeprotokoll - %1</translation>
    </message>
    <message>
        <source>Reading…</source>
        <translation>Wird gelesen…</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n line(s) skipped: %1</source>
        <translation>
            <numerusform>%n Zeile übersprungen: %1</numerusform>
            <numerusform>%n Zeilen übersprungen: %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Choose what the columns hold, then read the file with them.</source>
        <translation>Wählen Sie, was die Spalten enthalten, und lesen Sie die Datei damit.</translation>
    </message>
    <message>
        <source>Column %1</source>
        <translation>Spalte %1</translation>
    </message>
    <message>
        <source>Cell %1</source>
        <translation>Zelle %1</translation>
    </message>
    <message>
        <source>The record is a discharge; the log has none.</source>
        <translation>Der Eintrag ist eine Entladung; das Ladeprotokoll hat keine.</translation>
    </message>
    <message>
        <source>The record is a charge; the log has none.</source>
        <translation>Der Eintrag ist eine Ladung; das Ladeprotokoll hat keine.</translation>
    </message>
    <message>
        <source>The log&apos;s discharge moved %1 Ah; the record says %2 Ah.</source>
        <translation>Die Entladung des Ladeprotokolls bewegte %1 Ah; der Eintrag nennt %2 Ah.</translation>
    </message>
    <message>
        <source>The log&apos;s charge moved %1 Ah; the record says %2 Ah.</source>
        <translation>Die Ladung des Ladeprotokolls bewegte %1 Ah; der Eintrag nennt %2 Ah.</translation>
    </message>
    <message>
        <source>The record&apos;s amp-hours agree with the log (%1 Ah).</source>
        <translation>Die Amperestunden des Eintrags stimmen mit dem Ladeprotokoll überein (%1 Ah).</translation>
    </message>
    <message>
        <source>cells %1 V</source>
        <translation>Zellen %1 V</translation>
    </message>
    <message>
        <source>Capacity (Ah)</source>
        <translation>Kapazität (Ah)</translation>
    </message>
    <message>
        <source>Temperature (°C)</source>
        <translation>Temperatur (°C)</translation>
    </message>
    <message>
        <source>First values: %1</source>
        <translation>Erste Werte: %1</translation>
    </message>
    <message>
        <source>Charger Log - %1 (capturing)</source>
        <translation>Ladeprotokoll - %1 (wird mitgeschrieben)</translation>
    </message>
    <message>
        <source>Capturing from %1</source>
        <translation>Mitschrift von %1</translation>
    </message>
    <message>
        <source>Charger Log - %1 (ended)</source>
        <translation>Ladeprotokoll - %1 (beendet)</translation>
    </message>
</context>
<context>
    <name>TChartAccessible</name>
    <message numerus="yes">
        <source>%n series</source>
        <translation>
            <numerusform>%n Reihe</numerusform>
            <numerusform>%n Reihen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n points</source>
        <translation>
            <numerusform>%n Punkt</numerusform>
            <numerusform>%n Punkte</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TDueSettingsForm</name>
    <message>
        <source>Due Settings</source>
        <translation>Fälligkeiten</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source> days</source>
        <translation> Tage</translation>
    </message>
    <message>
        <source> %</source>
        <translation> %</translation>
    </message>
    <message>
        <source> cycles</source>
        <translation> Zyklen</translation>
    </message>
    <message>
        <source>A lithium pack &amp;left full for more than</source>
        <translation>Ein Lithium-Akku &amp;voll geladen länger als</translation>
    </message>
    <message>
        <source>A pack &amp;unused for more than</source>
        <translation>Ein Akku &amp;unbenutzt länger als</translation>
    </message>
    <message>
        <source>End of life near &amp;past the rated cycles&apos;</source>
        <translation>Lebensende nahe &amp;nach den Nennzyklen zu</translation>
    </message>
    <message>
        <source>or the capacity &amp;trend reaching it within</source>
        <translation>oder wenn der Kapazitäts&amp;trend es erreicht in</translation>
    </message>
    <message>
        <source>A capacity test after &amp;cycles without one</source>
        <translation>Ein Kapazitätstest nach &amp;Zyklen ohne einen</translation>
    </message>
    <message>
        <source>or after &amp;days without one</source>
        <translation>oder nach T&amp;agen ohne einen</translation>
    </message>
</context>
<context>
    <name>TExportCsvForm</name>
    <message>
        <source>Export CSV</source>
        <translation>CSV exportieren</translation>
    </message>
    <message>
        <source>The shown records: %1 of %2 (the filters apply)</source>
        <translation>Die gezeigten Ladungen: %1 von %2 (die Filter gelten)</translation>
    </message>
    <message>
        <source>All records: %1</source>
        <translation>Alle Ladungen: %1</translation>
    </message>
    <message>
        <source>Semicolons and this computer&apos;s decimal separator (&quot;%1&quot;), for spreadsheets set up that way</source>
        <translation>Semikolons und das Dezimaltrennzeichen dieses Rechners (&quot;%1&quot;), für so eingerichtete Tabellenkalkulationen</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportieren…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>With it, a text starting with =, +, -, @ or a tab is written with a &apos; before it, so that a spreadsheet shows it rather than calculating it (QorLog reads it back without the &apos;). Without it: commas, &quot;.&quot; as the decimal separator, which every spreadsheet reads, and every text exactly as it is.</source>
        <translation>Damit wird ein Text, der mit =, +, -, @ oder einem Tabulator beginnt, mit einem &apos; davor geschrieben, damit eine Tabellenkalkulation ihn anzeigt statt ihn zu berechnen (QorLog liest ihn ohne das &apos; zurück). Ohne: Kommas, &quot;.&quot; als Dezimaltrennzeichen, was jede Tabellenkalkulation liest, und jeder Text genau so, wie er ist.</translation>
    </message>
</context>
<context>
    <name>TFilterForm</name>
    <message>
        <source>Retain</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Retained and removed names</source>
        <translation>Behaltene und entfernte Namen</translation>
    </message>
    <message>
        <source>Retained names</source>
        <translation>Behaltene Namen</translation>
    </message>
    <message>
        <source>Removed names</source>
        <translation>Entfernte Namen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Show names containing…</source>
        <translation>Namen anzeigen, die enthalten…</translation>
    </message>
    <message>
        <source>Show names containing</source>
        <translation>Namen anzeigen, die enthalten</translation>
    </message>
</context>
<context>
    <name>THelpBoxes</name>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Enter and Delete act on the table when it has the focus; Tab moves between the buttons.</source>
        <translation>Eingabe und Entf wirken auf die Tabelle, wenn sie den Fokus hat; Tab wechselt zwischen den Schaltflächen.</translation>
    </message>
    <message>
        <source>About QorLog</source>
        <translation>Über QorLog</translation>
    </message>
    <message>
        <source>QorLog %1

A logbook for the charging of rechargeable batteries.

Log file: %2

Licence: %3</source>
        <translation>QorLog %1

Ein Ladebuch für Akkus.

Ladebuchdatei: %2

Lizenz: %3</translation>
    </message>
    <message>
        <source>In a chart: Left and Right move from bar to bar, Up and Down from series to series; Enter or Space shows the bar&apos;s figures, Shift+Enter its battery&apos;s details, the Menu key or Shift+F10 the chart&apos;s menu.</source>
        <translation>In einem Diagramm: Links und Rechts gehen von Balken zu Balken, Hoch und Runter von Reihe zu Reihe; Eingabe oder Leertaste zeigt die Werte des Balkens, Umschalt+Eingabe die Details seines Akkus, die Menütaste oder Umschalt+F10 das Menü des Diagramms.</translation>
    </message>
    <message>
        <source>Page Up and Page Down move a screenful of batteries in the bar chart and a tenth of the points in a line chart; the wheel and a drag scroll a chart that is wider than its window. Escape and Ctrl+W close Battery Details, the Battery Overview and the charger log window; Alt and the underlined letter open a menu.</source>
        <translation>Bild auf und Bild ab gehen im Balkendiagramm eine Bildschirmbreite Akkus weiter, in einem Liniendiagramm ein Zehntel der Punkte; das Mausrad und Ziehen verschieben ein Diagramm, das breiter als sein Fenster ist. Escape und Strg+W schließen die Akkudetails, die Akkuübersicht und das Fenster des Ladeprotokolls; Alt und der unterstrichene Buchstabe öffnen ein Menü.</translation>
    </message>
    <message>
        <source>On Debian systems, the complete text of the GNU General Public License version 3 can be found in /usr/share/common-licenses/GPL-3.</source>
        <translation>Auf Debian-Systemen steht der vollständige Text der GNU General Public License Version 3 in /usr/share/common-licenses/GPL-3.</translation>
    </message>
</context>
<context>
    <name>TImportCsvForm</name>
    <message>
        <source>Import CSV</source>
        <translation>CSV importieren</translation>
    </message>
    <message>
        <source>Comma</source>
        <translation>Komma</translation>
    </message>
    <message>
        <source>Semicolon</source>
        <translation>Semikolon</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tabulator</translation>
    </message>
    <message>
        <source>The first row holds the column titles</source>
        <translation>Die erste Zeile enthält die Spaltentitel</translation>
    </message>
    <message>
        <source>Full stop (.)</source>
        <translation>Punkt (.)</translation>
    </message>
    <message>
        <source>Comma (,)</source>
        <translation>Komma (,)</translation>
    </message>
    <message>
        <source>UTF-8</source>
        <translation>UTF-8</translation>
    </message>
    <message>
        <source>UTF-8 with byte order mark</source>
        <translation>UTF-8 mit Byte-Order-Mark</translation>
    </message>
    <message>
        <source>Latin-1</source>
        <translation>Latin-1</translation>
    </message>
    <message>
        <source>File:</source>
        <translation>Datei:</translation>
    </message>
    <message>
        <source>Delimiter:</source>
        <translation>Trennzeichen:</translation>
    </message>
    <message>
        <source>Decimal separator:</source>
        <translation>Dezimaltrennzeichen:</translation>
    </message>
    <message>
        <source>Encoding:</source>
        <translation>Kodierung:</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The first rows, and which field each column holds:</source>
        <translation>Die ersten Zeilen, und welches Feld jede Spalte enthält:</translation>
    </message>
    <message>
        <source>Rows that cannot be read:</source>
        <translation>Zeilen, die nicht gelesen werden können:</translation>
    </message>
    <message>
        <source>Column %1</source>
        <translation>Spalte %1</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Feld</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>1 charge can be imported</source>
        <translation>1 Ladung kann importiert werden</translation>
    </message>
    <message>
        <source>%1 charges can be imported</source>
        <translation>%1 Ladungen können importiert werden</translation>
    </message>
    <message>
        <source>, 1 row is already in the log</source>
        <translation>, 1 Zeile steht schon im Ladebuch</translation>
    </message>
    <message>
        <source>, %1 rows are already in the log</source>
        <translation>, %1 Zeilen stehen schon im Ladebuch</translation>
    </message>
    <message>
        <source>, 1 row cannot be read</source>
        <translation>, 1 Zeile kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>, %1 rows cannot be read</source>
        <translation>, %1 Zeilen können nicht gelesen werden</translation>
    </message>
    <message>
        <source>Import Good Rows</source>
        <translation>Gute Zeilen importieren</translation>
    </message>
    <message>
        <source>Import 1 Charge</source>
        <translation>1 Ladung importieren</translation>
    </message>
    <message>
        <source>Import of %1 from the command line:
%2</source>
        <translation>Import von %1 über die Befehlszeile:
%2</translation>
    </message>
    <message numerus="yes">
        <source>Import %n Charges</source>
        <translation>
            <numerusform>%n Ladung importieren</numerusform>
            <numerusform>%n Ladungen importieren</numerusform>
        </translation>
    </message>
    <message>
        <source>Windows-1252 (Western European)</source>
        <translation>Windows-1252 (westeuropäisch)</translation>
    </message>
    <message>
        <source>As the file&apos;s dates show</source>
        <translation>Wie die Datumsangaben der Datei zeigen</translation>
    </message>
    <message>
        <source>Day first (31.12.2025)</source>
        <translation>Tag zuerst (31.12.2025)</translation>
    </message>
    <message>
        <source>Month first (12/31/2025)</source>
        <translation>Monat zuerst (12/31/2025)</translation>
    </message>
    <message>
        <source>Dates:</source>
        <translation>Datumsangaben:</translation>
    </message>
    <message>
        <source>Every date of the file can be read day first or month first. Which is it?</source>
        <translation>Jedes Datum der Datei kann mit dem Tag oder mit dem Monat zuerst gelesen werden. Was gilt?</translation>
    </message>
    <message>
        <source>Choose the order of day and month in the dates.</source>
        <translation>Wählen Sie die Reihenfolge von Tag und Monat in den Datumsangaben.</translation>
    </message>
    <message numerus="yes">
        <source>, rows repeating an earlier one: %n</source>
        <translation>
            <numerusform>, Zeilen, die eine frühere wiederholen: %n</numerusform>
            <numerusform>, Zeilen, die eine frühere wiederholen: %n</numerusform>
        </translation>
    </message>
    <message>
        <source>The first rows</source>
        <translation>Die ersten Zeilen</translation>
    </message>
    <message>
        <source>Rows that cannot be read</source>
        <translation>Zeilen, die nicht gelesen werden können</translation>
    </message>
    <message>
        <source>CSV files (*.csv *.txt);;All files (*)</source>
        <translation>CSV-Dateien (*.csv *.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>With these settings the file has %1 columns; QorLog reads at most %2. Choose another delimiter, or take the columns a charge does not need out of the file.</source>
        <translation>Mit diesen Einstellungen hat die Datei %1 Spalten; QorLog liest höchstens %2. Wählen Sie ein anderes Trennzeichen, oder nehmen Sie die Spalten, die eine Ladung nicht braucht, aus der Datei.</translation>
    </message>
</context>
<context>
    <name>TLineChart</name>
    <message>
        <source>%1, %2, %3</source>
        <translation>%1, %2, %3</translation>
    </message>
</context>
<context>
    <name>TLogFileGuard</name>
    <message>
        <source>It has been kept as %1.</source>
        <translation>Sie ist als %1 aufbewahrt.</translation>
    </message>
    <message>
        <source>Another program replaced the log file by one that cannot be read completely:
%1

%2 QorLog writes its own charges to the log file.</source>
        <translation>Ein anderes Programm hat die Ladebuchdatei durch eine ersetzt, die nicht vollständig lesbar ist:
%1

%2 QorLog schreibt seine eigenen Ladungen in die Ladebuchdatei.</translation>
    </message>
    <message>
        <source>The log file could not be read:
%1

QorLog saves nothing until it can be read again.</source>
        <translation>Die Ladebuchdatei konnte nicht gelesen werden:
%1

QorLog speichert nichts, bis sie wieder gelesen werden kann.</translation>
    </message>
    <message>
        <source>The log file %1 could not be read; QorLog saves nothing until it can be read again.</source>
        <translation>Die Ladebuchdatei %1 konnte nicht gelesen werden; QorLog speichert nichts, bis sie wieder gelesen werden kann.</translation>
    </message>
    <message>
        <source>its folder cannot be written (%1)</source>
        <translation>ihr Ordner kann nicht beschrieben werden (%1)</translation>
    </message>
    <message>
        <source>The log file %1 was not saved: the lock file %2 beside it cannot be made (%3).</source>
        <translation>Die Ladebuchdatei %1 wurde nicht gespeichert: Die Sperrdatei %2 daneben kann nicht angelegt werden (%3).</translation>
    </message>
    <message>
        <source>The log file %1 was not saved: another QorLog (%2) has been saving it for longer than %3 seconds. Try again in a moment.</source>
        <translation>Die Ladebuchdatei %1 wurde nicht gespeichert: Ein anderes QorLog (%2) speichert sie seit mehr als %3 Sekunden. Bitte gleich noch einmal versuchen.</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>1 charge</source>
        <translation>1 Ladung</translation>
    </message>
    <message>
        <source>%1 charges</source>
        <translation>%1 Ladungen</translation>
    </message>
    <message>
        <source>%1 added, %2 changed and %3 removed by another program</source>
        <translation>%1 von einem anderen Programm hinzugefügt, %2 geändert und %3 entfernt</translation>
    </message>
    <message>
        <source>%1 added and %2 changed by another program</source>
        <translation>%1 von einem anderen Programm hinzugefügt und %2 geändert</translation>
    </message>
    <message>
        <source>%1 changed and %2 removed by another program</source>
        <translation>%1 von einem anderen Programm geändert und %2 entfernt</translation>
    </message>
    <message>
        <source>%1 changed by another program</source>
        <translation>%1 von einem anderen Programm geändert</translation>
    </message>
    <message>
        <source>%1 added and %2 removed by another program</source>
        <translation>%1 von einem anderen Programm hinzugefügt und %2 entfernt</translation>
    </message>
    <message>
        <source>%1 added by another program</source>
        <translation>%1 von einem anderen Programm hinzugefügt</translation>
    </message>
    <message>
        <source>%1 removed by another program</source>
        <translation>%1 von einem anderen Programm entfernt</translation>
    </message>
    <message numerus="yes">
        <source>%n battery cards changed by another program</source>
        <translation>
            <numerusform>%n Akkukarten von einem anderen Programm geändert</numerusform>
            <numerusform>%n Akkukarten von einem anderen Programm geändert</numerusform>
        </translation>
    </message>
    <message>
        <source>1 battery card changed by another program</source>
        <translation>1 Akkukarte von einem anderen Programm geändert</translation>
    </message>
</context>
<context>
    <name>TQorLogCOMServer</name>
    <message>
        <source>The program is not ready to take charges</source>
        <translation>Das Programm ist noch nicht bereit, Ladungen anzunehmen</translation>
    </message>
    <message>
        <source>Unexpected failure</source>
        <translation>Unerwarteter Fehler</translation>
    </message>
</context>
<context>
    <name>TQorLogMainForm</name>
    <message>
        <source>QorLog</source>
        <translation>QorLog</translation>
    </message>
    <message>
        <source>Filter Batteries</source>
        <translation>Akkus filtern</translation>
    </message>
    <message>
        <source>Filter Chargers</source>
        <translation>Ladegeräte filtern</translation>
    </message>
    <message>
        <source>Filter Terminations</source>
        <translation>Ladeenden filtern</translation>
    </message>
    <message>
        <source>Delete Power Sources</source>
        <translation>Stromquellen löschen</translation>
    </message>
    <message>
        <source>Delete Batteries</source>
        <translation>Akkus löschen</translation>
    </message>
    <message>
        <source>Delete Chargers</source>
        <translation>Ladegeräte löschen</translation>
    </message>
    <message>
        <source>Delete Terminations</source>
        <translation>Ladeenden löschen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Cycles</source>
        <translation>Zyklen</translation>
    </message>
    <message>
        <source>Charge</source>
        <translation>Ladung</translation>
    </message>
    <message>
        <source>Discharge</source>
        <translation>Entladung</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Akku</translation>
    </message>
    <message>
        <source>Filter PowerSources</source>
        <translation>Stromquellen filtern</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>Charge Data Forms still exist</source>
        <translation>Es sind noch Ladedaten-Fenster offen</translation>
    </message>
    <message>
        <source>Do you want to permanently delete filtered items?</source>
        <translation>Sollen die ausgefilterten Einträge endgültig gelöscht werden?</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>%1

Close anyway? Changes not yet in the log file will be lost.</source>
        <translation>%1

Trotzdem schließen? Änderungen, die noch nicht in der Ladebuchdatei stehen, gehen verloren.</translation>
    </message>
    <message>
        <source>QorLog is closing and takes no more charges</source>
        <translation>QorLog wird beendet und nimmt keine Ladungen mehr an</translation>
    </message>
    <message>
        <source>Chart and table</source>
        <translation>Diagramm und Tabelle</translation>
    </message>
    <message>
        <source>Cycles and amp-hours per battery</source>
        <translation>Zyklen und Amperestunden je Akku</translation>
    </message>
    <message>
        <source>Charges</source>
        <translation>Ladungen</translation>
    </message>
    <message numerus="yes">
        <source>%1 Cycles</source>
        <translation>
            <numerusform>%1 Zyklus</numerusform>
            <numerusform>%1 Zyklen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 Cycle</source>
        <translation>
            <numerusform>%1 Zyklus</numerusform>
            <numerusform>%1 Zyklen</numerusform>
        </translation>
    </message>
    <message>
        <source>%1.

Nothing was deleted: the filtered records stay in the log.</source>
        <translation>%1.

Es wurde nichts gelöscht: die gefilterten Einträge bleiben im Ladebuch.</translation>
    </message>
    <message>
        <source>%1 charge data dialogs are open already; confirm or cancel some of them first</source>
        <translation>Es sind schon %1 Ladedaten-Dialoge offen; bestätigen oder verwerfen Sie zuerst einige davon</translation>
    </message>
    <message>
        <source>&amp;Add Charge Record</source>
        <translation>Ladung &amp;hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Delete Selection</source>
        <translation>Auswahl &amp;löschen</translation>
    </message>
    <message>
        <source>Filter &amp;Power Sources</source>
        <translation>&amp;Stromquellen filtern</translation>
    </message>
    <message>
        <source>Filter &amp;Batteries</source>
        <translation>&amp;Akkus filtern</translation>
    </message>
    <message>
        <source>Filter &amp;Chargers</source>
        <translation>&amp;Ladegeräte filtern</translation>
    </message>
    <message>
        <source>Filter &amp;Terminations</source>
        <translation>Lade&amp;enden filtern</translation>
    </message>
    <message>
        <source>C&amp;ycles Colour</source>
        <translation>Farbe der &amp;Zyklen</translation>
    </message>
    <message>
        <source>Charg&amp;e Colour</source>
        <translation>Farbe der La&amp;dung</translation>
    </message>
    <message>
        <source>&amp;Discharge Colour</source>
        <translation>Farbe der E&amp;ntladung</translation>
    </message>
    <message>
        <source>&amp;Edit Charge Record…</source>
        <translation>Ladung &amp;bearbeiten…</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>&amp;Keyboard Shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>&amp;About QorLog</source>
        <translation>Ü&amp;ber QorLog</translation>
    </message>
    <message>
        <source>&amp;Open Charger Log File</source>
        <translation>Ladeprotokolldatei &amp;öffnen</translation>
    </message>
    <message>
        <source>&amp;Export CSV…</source>
        <translation>CSV &amp;exportieren…</translation>
    </message>
    <message>
        <source>&amp;Import CSV…</source>
        <translation>CSV &amp;importieren…</translation>
    </message>
    <message>
        <source>Export P&amp;DF…</source>
        <translation>&amp;PDF exportieren…</translation>
    </message>
    <message>
        <source>&amp;Print…</source>
        <translation>&amp;Drucken…</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Wiederholen</translation>
    </message>
    <message>
        <source>&amp;Restore Backup…</source>
        <translation>Sicherung &amp;wiederherstellen…</translation>
    </message>
    <message>
        <source>%1 Ah Charged</source>
        <translation>%1 Ah geladen</translation>
    </message>
    <message>
        <source>%1 Ah Discharged</source>
        <translation>%1 Ah entladen</translation>
    </message>
    <message>
        <source>Due: %1</source>
        <translation>Fällig: %1</translation>
    </message>
</context>
<context>
    <name>TRestoreBackupForm</name>
    <message>
        <source>damaged</source>
        <translation>beschädigt</translation>
    </message>
    <message>
        <source>%1 %2, before the purge</source>
        <translation>%1 %2, vor dem Bereinigen</translation>
    </message>
    <message>
        <source>%1 %2, before a restore</source>
        <translation>%1 %2, vor einer Wiederherstellung</translation>
    </message>
    <message>
        <source>%1, before the day&apos;s first change</source>
        <translation>%1, vor der ersten Änderung des Tages</translation>
    </message>
    <message>
        <source>Restore Backup</source>
        <translation>Sicherung wiederherstellen</translation>
    </message>
    <message>
        <source>There are no backups of the log yet.</source>
        <translation>Es gibt noch keine Sicherungen des Ladebuchs.</translation>
    </message>
    <message>
        <source>Choose the backup that replaces the log. The log as it is now is kept as a backup first, and Undo takes the restore back.</source>
        <translation>Wählen Sie die Sicherung, die das Ladebuch ersetzt. Das Ladebuch, wie es jetzt ist, wird zuerst gesichert, und Rückgängig nimmt die Wiederherstellung zurück.</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>Sicherung</translation>
    </message>
    <message>
        <source>Charges</source>
        <translation>Ladungen</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Wiederherstellen</translation>
    </message>
    <message>
        <source>Backups</source>
        <translation>Sicherungen</translation>
    </message>
    <message>
        <source>%1 %2, a log that could not be read completely</source>
        <translation>%1 %2, ein nicht vollständig lesbares Ladebuch</translation>
    </message>
    <message>
        <source>%1 %2, a conflict copy of a sync tool, merged</source>
        <translation>%1 %2, Konfliktkopie eines Synchronisierungsprogramms, übernommen</translation>
    </message>
    <message>
        <source>%1 %2, before a merge kept another version of a charge</source>
        <translation>%1 %2, bevor eine Zusammenführung eine andere Fassung einer Ladung behielt</translation>
    </message>
</context>
<context>
    <name>TSerialCapture</name>
    <message>
        <source>%1 sent more than 1 MiB without a line end: this is no charger&apos;s log, and the capture was stopped</source>
        <translation>%1 sandte mehr als 1 MiB ohne Zeilenende: das ist kein Protokoll eines Ladegeräts, die Mitschrift wurde beendet</translation>
    </message>
    <message>
        <source>%1 sent more than %2 lines a second for %3 seconds: no charger sends so much, and the capture was stopped</source>
        <translation>%1 sandte %3 Sekunden lang mehr als %2 Zeilen pro Sekunde: so viel sendet kein Ladegerät, die Mitschrift wurde beendet</translation>
    </message>
    <message>
        <source>No charger lines on %1 at %2 baud; what came: &quot;%3&quot;. Is the charger set to another speed? Try 9600, 19200, 38400, 57600 or 115200.</source>
        <translation>Keine Zeilen eines Ladegeräts an %1 mit %2 Baud; es kam: &quot;%3&quot;. Ist das Ladegerät auf eine andere Geschwindigkeit eingestellt? Versuchen Sie 9600, 19200, 38400, 57600 oder 115200.</translation>
    </message>
    <message>
        <source>%1 does not exist. Is the charger plugged in and switched on?</source>
        <translation>%1 gibt es nicht. Ist das Ladegerät angeschlossen und eingeschaltet?</translation>
    </message>
    <message>
        <source>The Braille display service brltty is running: it takes CH340 and CP210x adapters for itself. Without a Braille display, remove it (sudo apt remove brltty) and plug the charger in again.</source>
        <translation>Der Braillezeilen-Dienst brltty läuft: er nimmt CH340- und CP210x-Adapter für sich. Ohne Braillezeile entfernen Sie ihn (sudo apt remove brltty) und schließen das Ladegerät neu an.</translation>
    </message>
    <message>
        <source>%1 is in use by another program. Close the charger&apos;s other program (or another capture of this port) and try again.</source>
        <translation>%1 wird von einem anderen Programm benutzt. Schließen Sie das andere Programm des Ladegeräts (oder eine andere Mitschrift dieser Schnittstelle) und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>You may not open %1: it belongs to the group &quot;%2&quot;. Add yourself to it (sudo adduser $USER %2), then log out and in again.</source>
        <translation>Sie dürfen %1 nicht öffnen: es gehört der Gruppe &quot;%2&quot;. Treten Sie ihr bei (sudo adduser $USER %2), dann ab- und wieder anmelden.</translation>
    </message>
    <message>
        <source>The Braille display service brltty may hold this adapter as well.</source>
        <translation>Auch der Braillezeilen-Dienst brltty kann diesen Adapter belegen.</translation>
    </message>
    <message>
        <source>%1 is already being captured.</source>
        <translation>%1 wird schon mitgeschrieben.</translation>
    </message>
    <message>
        <source>%1 cannot be opened: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>TSplashForm</name>
    <message>
        <source>Loading</source>
        <translation>Wird geladen</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>There is no log file %1</source>
        <translation>Es gibt keine Ladebuchdatei %1</translation>
    </message>
    <message>
        <source>The log file %1 does not exist</source>
        <translation>Die Ladebuchdatei %1 gibt es nicht</translation>
    </message>
    <message>
        <source>automation is not available: %1</source>
        <translation>die Automatisierung ist nicht verfügbar: %1</translation>
    </message>
    <message>
        <source>QorLog is running but did not answer; nothing was imported</source>
        <translation>QorLog läuft, hat aber nicht geantwortet; nichts wurde importiert</translation>
    </message>
    <message>
        <source>Log file: %1</source>
        <translation>Ladebuchdatei: %1</translation>
    </message>
    <message>
        <source>QorLog %1</source>
        <translation>QorLog %1</translation>
    </message>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation>&apos;%1 --help&apos; gibt weitere Informationen.</translation>
    </message>
    <message>
        <source>%1 is the log file, one of its backups or a copy of it: the CSV export is not written over it</source>
        <translation>%1 ist die Ladebuchdatei, eine ihrer Sicherungen oder eine Kopie davon: Der CSV-Export wird nicht darüber geschrieben</translation>
    </message>
    <message>
        <source>QorLog is running but did not answer; nothing is captured</source>
        <translation>QorLog läuft, hat aber nicht geantwortet; nichts wird mitgeschrieben</translation>
    </message>
    <message>
        <source>The capture request is damaged</source>
        <translation>Die Anfrage zum Mitschreiben ist beschädigt</translation>
    </message>
    <message>
        <source>The running QorLog keeps another log (%1); nothing is captured</source>
        <translation>Das laufende QorLog führt ein anderes Ladebuch (%1); nichts wird mitgeschrieben</translation>
    </message>
    <message>
        <source>Capturing from %1 at %2 baud</source>
        <translation>Mitschrift von %1 mit %2 Baud</translation>
    </message>
    <message>
        <source>%1: cannot open a window: no display
Without a display QorLog still reads and writes its log from the command line:
  %1 --report, --due, --export-csv FILE, --import-csv FILE, --charger-log FILE
(&apos;%1 --help&apos; lists them all.)</source>
        <translation>%1: kann kein Fenster öffnen: keine Anzeige
Ohne Anzeige liest und schreibt QorLog sein Ladebuch über die Befehlszeile:
  %1 --report, --due, --export-csv FILE, --import-csv FILE, --charger-log FILE
(&apos;%1 --help&apos; zeigt alle.)</translation>
    </message>
</context>
</TS>
