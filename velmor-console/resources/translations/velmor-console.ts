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
    <message>
        <source>&quot;%1&quot; is not an IPv4 address: four numbers from 0 to 255, without leading zeros, separated by dots.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is an address, not a domain name.</source>
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
    <message>
        <source>The server did not answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The published version could not be read</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Cabinet</name>
    <message>
        <source>Error while querying info from website</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; was not added: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DomainPattern</name>
    <message>
        <source>A domain name has at most 253 characters; this one has %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Each part of a domain name between dots has at most 63 characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a domain name: it may hold letters, digits, hyphens and dots, with something between the dots.</source>
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
    <message numerus="yes">
        <source>The plan allows %n entries in this list.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
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
        <source>&quot;%1&quot; was not saved: %2</source>
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
        <source>Your local timezone does not match with the timezone in schedule settings. In order to make schedule work properly log in into your personal Velmor cabinet and set matching timezone in account settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a time of the schedule, which counts from 00:00 to 24:00 in quarter hours; a period starts at 23:45 at the latest. The time stays as it was.</source>
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
        <source>Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undefined</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identification</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Initializing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Content filtering settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Categories of sites, exceptions, filtering profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Common settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Startup, current state, internet connections, profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Authentication settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your login and password on service</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Protect settings with password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Agent icon in system tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for new versions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Internet Connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Protect internet connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advanced identification</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DNS address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DNS Proxy listens on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E-mail</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repeat password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;a href=&quot;agent:showregisterform&quot;&gt;Don&apos;t have an account yet?&lt;a&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Web site:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>To make the work of technical support more effective please send &lt;a href=&quot;agent:systeminforeport&quot; style=&quot;white-space:nowrap&quot;&gt;system info&lt;/a&gt; report with description of your problem.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>STYLE_header</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velmor Agent</source>
        <comment>dlgtitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;b&gt;Advanced identification&lt;/b&gt; mode improves identification of your computer behind NAT(Network Address Translation). So if you connect to internet through other computer in your home or office network you probably have to activate this option.&lt;br/&gt;&lt;br/&gt;&lt;b&gt;Technical details:&lt;/b&gt;&lt;br/&gt;%1 starts its own DNS server on 127.0.0.1:53 which modifies DNS packets and sends them to server. It also starts HTTP server on 127.0.0.1:13107 for blockpages. So ensure nothing else runs on these ports or advanced identification will not work properly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please read &lt;a href=&quot;https://www.%1/info/terms&quot;&gt;Terms of Service&lt;/a&gt; before registration. Hitting &quot;Sign Up&quot; you hereby confirm that you fully understand and accept all Terms of Service points.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forgot your password?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write to support</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Instruction how to use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identification error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter your password to unlock settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Both E-mail and password fields must be filled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password and repeated password do not match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter your login and password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect login or password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue &amp;working</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The system service is successfully connected and now awaiting for finish of initialization steps.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to setup identification of this computer on service. Filtering settings will not work. Please check your &lt;a href=&quot;agent:showsettings&quot;&gt;settings&lt;/a&gt; or contact technical support.
&lt;a href=&quot;agent:showcabineterror&quot;&gt;Error details&lt;/a&gt;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 was unable to retrieve the information about internet connections on this computer. Probably the computer is disconnected from internet or type of connection is not supported yet by agent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The filtration was not activated on any of internet connections. To activate it click on settings link.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The filtration was disabled. You may enable it back with button at bottom left.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This computer is successfully connected to service and now it&apos;s performing filtering according to your account settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Buy Premium plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Need help?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current profile:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your IP:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No new versions available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings are not available while the system service is not running. They open once the service is started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not protected: the filtering could not be switched on for it. Tick it to try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is still protected: the filtering could not be switched off for it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notice, it&apos;s not required for this interface to be started to make filtering working.
All hard work is performed by system service part.

Do you wish to close this interface right now?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The service part of %1 doesn&apos;t work. Probably the service is still starting. If it will not start in a minute try to start it manually. Notice, %1 will not work without this service.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop filtering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start filtering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for a new version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not check for new versions: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The service part of %1 doesn&apos;t work. The service was running and has stopped. Try to start it manually. Notice, %1 will not work without this service.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MemoryMsgBox</name>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Don&apos;t show anymore</source>
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
<context>
    <name>VarQuestionDlg</name>
    <message>
        <source>Velmor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remember choice</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
