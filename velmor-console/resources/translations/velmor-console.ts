<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>Agent</name>
    <message>
        <source>System service error!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting to service..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identification failed!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filtration disabled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filtration switched off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The internet is under control!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to connect to system service!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The connection to system service was interrupted!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmor Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set DNS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous DNS IP address is not found. Please enter DNS IP address provided by your ISP.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter your password to uninstall</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System info report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generation of system info report is in progress. Just wait quite a bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text Files (*.txt)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The report could not be saved to %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AppUpdater</name>
    <message>
        <source>Invalid download url</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The temporary folder is not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The download could not be written: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server answered %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The download ended after %1 of %2 bytes</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Cabinet</name>
    <message>
        <source>Error while querying info from website</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWidget</name>
    <message>
        <source>Velmor Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unlock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings are locked. Enter your password to unlock them.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Generic error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network timeout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System service disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No original DNS addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to set DNS server addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to update connections info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid login or password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to connect to cabinet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP address is inaccessible</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ServiceConnector</name>
    <message>
        <source>Unknown error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No connection to system service</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SystemReportDlg</name>
    <message>
        <source>System info report</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SystemTrayIcon</name>
    <message>
        <source>&amp;Start filtering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Stop filtering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Until start or reboot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>minutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 hour</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>%1 update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New version of &lt;a href=&quot;%1&quot;&gt;%2&lt;/a&gt; is available: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Don&apos;t check for updates.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Install now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Hide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading.. %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
