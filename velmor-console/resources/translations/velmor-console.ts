<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>AddDialog</name>
    <message>
        <source>New domain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Domain</source>
        <translation type="unfinished"></translation>
    </message>
</context>
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
</context>
<context>
    <name>Cabinet</name>
    <message>
        <source>Error while querying info from website</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DomainsEdit</name>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EasyListEdit</name>
    <message>
        <source>Clear list</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FilterDlg</name>
    <message>
        <source>Filter Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Categories</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Black/White Lists</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allow work by schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mark profile&apos;s activity time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allow sites from white list only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Block unknown sites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use safe search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>White List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Black List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Aliases</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use left and right mouse buttons on timetable or set period in appropriate fields.
Current profile will be activated on marked periods. All remaining time «%1» profile will be in use.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In the given time filter control is unavailable.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reason</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>used</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profiles Editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timezone mismatch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your local timezone does not match with the timezone in schedule settings. In order to make schedule work properly log in into your personal Velmor cabinet and set mathing timezone in account settings.</source>
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
</TS>
