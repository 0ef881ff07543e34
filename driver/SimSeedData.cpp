#include "driver/SimSeedData.h"

#include <array>
#include <string_view>

namespace {

// Hand-picked keys a desktop session touches all the time.
constexpr std::string_view FIXED_KEYS = R"([HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion]
ProgramFilesDir=REG_SZ:C:\Program Files
CommonFilesDir=REG_SZ:C:\Program Files\Common Files
ProgramFilesPath=REG_EXPAND_SZ:%ProgramFiles%
DevicePath=REG_EXPAND_SZ:%SystemRoot%\inf
MediaPathUnexpanded=REG_EXPAND_SZ:%SystemRoot%\Media
[HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
SecurityHealth=REG_EXPAND_SZ:%windir%\system32\SecurityHealthSystray.exe
RtkAudUService=REG_SZ:"C:\Windows\System32\DriverStore\FileRepository\realtekservice.inf_amd64\RtkAudUService64.exe" -background
[HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce]
[HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
Common Desktop=REG_SZ:C:\Users\Public\Desktop
Common Documents=REG_SZ:C:\Users\Public\Documents
[HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System]
EnableLUA=REG_DWORD:1
ConsentPromptBehaviorAdmin=REG_DWORD:5
PromptOnSecureDesktop=REG_DWORD:1
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
ProductName=REG_SZ:Windows 10 Pro
CurrentBuild=REG_SZ:19045
CurrentBuildNumber=REG_SZ:19045
EditionID=REG_SZ:Professional
InstallationType=REG_SZ:Client
RegisteredOwner=REG_SZ:User
SystemRoot=REG_SZ:C:\WINDOWS
UBR=REG_DWORD:3803
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon]
Shell=REG_SZ:explorer.exe
Userinit=REG_SZ:C:\Windows\system32\userinit.exe,
AutoRestartShell=REG_DWORD:1
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options]
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
MS Shell Dlg=REG_SZ:Microsoft Sans Serif
MS Shell Dlg 2=REG_SZ:Tahoma
Helv=REG_SZ:Microsoft Sans Serif
[HKLM\SOFTWARE\Microsoft\Cryptography]
MachineGuid=REG_SZ:6f1d2c3a-8b4e-4c1f-9a2d-3e5f7a9b1c2d
[HKLM\SOFTWARE\Microsoft\Rpc]
MaxRpcSize=REG_DWORD:1048576
[HKLM\SOFTWARE\Microsoft\Ole]
EnableDCOM=REG_SZ:Y
[HKLM\SOFTWARE\Microsoft\CTF\Compatibility]
[HKLM\SOFTWARE\Microsoft\.NETFramework]
InstallRoot=REG_SZ:C:\Windows\Microsoft.NET\Framework64\
[HKLM\SOFTWARE\Microsoft\.NETFramework\v4.0.30319]
SchUseStrongCrypto=REG_DWORD:1
[HKLM\SOFTWARE\Policies\Microsoft\Windows\System]
[HKLM\SOFTWARE\Policies\Microsoft\Windows Defender]
[HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion]
ProgramFilesDir=REG_SZ:C:\Program Files (x86)
[HKLM\SOFTWARE\Classes]
[HKLM\SYSTEM\CurrentControlSet\Control]
SystemStartOptions=REG_SZ: NOEXECUTE=OPTIN
WaitToKillServiceTimeout=REG_SZ:5000
[HKLM\SYSTEM\CurrentControlSet\Control\Session Manager]
CriticalSectionTimeout=REG_DWORD:2592000
GlobalFlag=REG_DWORD:0
SafeDllSearchMode=REG_DWORD:1
[HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment]
ComSpec=REG_EXPAND_SZ:%SystemRoot%\system32\cmd.exe
OS=REG_SZ:Windows_NT
Path=REG_EXPAND_SZ:%SystemRoot%\system32;%SystemRoot%;%SystemRoot%\System32\Wbem
PATHEXT=REG_SZ:.COM;.EXE;.BAT;.CMD;.VBS;.JS;.MSC
TEMP=REG_EXPAND_SZ:%SystemRoot%\TEMP
NUMBER_OF_PROCESSORS=REG_SZ:8
PROCESSOR_ARCHITECTURE=REG_SZ:AMD64
[HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Memory Management]
PagingFiles=REG_MULTI_SZ:?:\pagefile.sys
ClearPageFileAtShutdown=REG_DWORD:0
[HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage]
ACP=REG_SZ:1252
OEMCP=REG_SZ:437
MACCP=REG_SZ:10000
[HKLM\SYSTEM\CurrentControlSet\Control\Nls\Language]
Default=REG_SZ:0409
InstallLanguage=REG_SZ:0409
[HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ActiveComputerName]
ComputerName=REG_SZ:DESKTOP-7Q2K9LM
[HKLM\SYSTEM\CurrentControlSet\Control\TimeZoneInformation]
TimeZoneKeyName=REG_SZ:W. Europe Standard Time
Bias=REG_DWORD:4294967236
ActiveTimeBias=REG_DWORD:4294967176
[HKLM\SYSTEM\CurrentControlSet\Control\Lsa]
LimitBlankPasswordUse=REG_DWORD:1
NoLmHash=REG_DWORD:1
[HKLM\SYSTEM\CurrentControlSet\Control\SafeBoot\Minimal]
[HKLM\SYSTEM\Setup]
SystemSetupInProgress=REG_DWORD:0
OOBEInProgress=REG_DWORD:0
SetupType=REG_DWORD:0
[HKLM\SYSTEM\MountedDevices]
[HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0]
ProcessorNameString=REG_SZ:Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz
~MHz=REG_DWORD:2112
VendorIdentifier=REG_SZ:GenuineIntel
[HKLM\HARDWARE\DESCRIPTION\System\BIOS]
BIOSVendor=REG_SZ:American Megatrends Inc.
SystemManufacturer=REG_SZ:System manufacturer
[HKLM\SAM\SAM\Domains\Account]
[HKLM\SECURITY\Policy]
[HKCU\Software\Microsoft\Windows\CurrentVersion\Run]
OneDrive=REG_SZ:"C:\Users\User\AppData\Local\Microsoft\OneDrive\OneDrive.exe" /background
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer]
ShellState=REG_BINARY:24 00 00 00 3E 28 00 00 00 00 00 00 00 00 00 00
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced]
Hidden=REG_DWORD:2
HideFileExt=REG_DWORD:1
ShowSuperHidden=REG_DWORD:0
TaskbarAl=REG_DWORD:1
LaunchTo=REG_DWORD:1
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
Desktop=REG_SZ:C:\Users\User\Desktop
Personal=REG_SZ:C:\Users\User\Documents
AppData=REG_SZ:C:\Users\User\AppData\Roaming
Local AppData=REG_SZ:C:\Users\User\AppData\Local
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders]
Desktop=REG_EXPAND_SZ:%USERPROFILE%\Desktop
Personal=REG_EXPAND_SZ:%USERPROFILE%\Documents
AppData=REG_EXPAND_SZ:%USERPROFILE%\AppData\Roaming
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RecentDocs]
MRUListEx=REG_BINARY:02 00 00 00 01 00 00 00 00 00 00 00 FF FF FF FF
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU]
a=REG_SZ:cmd\1
b=REG_SZ:regedit\1
MRUList=REG_SZ:ba
[HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.txt\OpenWithList]
a=REG_SZ:notepad.exe
MRUList=REG_SZ:a
[HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings]
ProxyEnable=REG_DWORD:0
MigrateProxy=REG_DWORD:1
User Agent=REG_SZ:Mozilla/4.0 (compatible; MSIE 8.0; Win32)
[HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap]
ProxyBypass=REG_DWORD:1
IntranetName=REG_DWORD:1
[HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize]
AppsUseLightTheme=REG_DWORD:1
SystemUsesLightTheme=REG_DWORD:0
EnableTransparency=REG_DWORD:1
[HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer]
[HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows]
Device=REG_SZ:Microsoft Print to PDF,winspool,Ne01:
[HKCU\Software\Microsoft\Notepad]
fWrap=REG_DWORD:1
iPointSize=REG_DWORD:110
lfFaceName=REG_SZ:Consolas
[HKCU\Software\Microsoft\Office\16.0\Common\General]
ShownFirstRunOptin=REG_DWORD:1
[HKCU\Software\Classes]
[HKCU\Control Panel\Desktop]
Wallpaper=REG_SZ:C:\Windows\web\wallpaper\Windows\img0.jpg
ScreenSaveActive=REG_SZ:1
MenuShowDelay=REG_SZ:400
LogPixels=REG_DWORD:96
[HKCU\Control Panel\International]
Locale=REG_SZ:00000409
LocaleName=REG_SZ:en-US
sShortDate=REG_SZ:M/d/yyyy
sTimeFormat=REG_SZ:h:mm:ss tt
sDecimal=REG_SZ:.
[HKCU\Control Panel\Mouse]
DoubleClickSpeed=REG_SZ:500
MouseSensitivity=REG_SZ:10
[HKCU\Control Panel\Keyboard]
KeyboardDelay=REG_SZ:1
KeyboardSpeed=REG_SZ:31
[HKCU\Environment]
TEMP=REG_EXPAND_SZ:%USERPROFILE%\AppData\Local\Temp
TMP=REG_EXPAND_SZ:%USERPROFILE%\AppData\Local\Temp
OneDrive=REG_EXPAND_SZ:C:\Users\User\OneDrive
[HKCU\Console]
FaceName=REG_SZ:Consolas
FontSize=REG_DWORD:1048576
QuickEdit=REG_DWORD:1
[HKCU\Keyboard Layout\Preload]
1=REG_SZ:00000409
[HKCR\*\shellex\ContextMenuHandlers]
[HKCR\Directory\shell\cmd]
@=REG_SZ:@shell32.dll,-8506
[HKCR\exefile\shell\open\command]
@=REG_SZ:"%1" %*
[HKCR\txtfile\shell\open\command]
@=REG_EXPAND_SZ:%SystemRoot%\system32\NOTEPAD.EXE %1
[HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}]
@=REG_SZ:This PC
[HKCR\CLSID\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\InprocServer32]
@=REG_EXPAND_SZ:%SystemRoot%\system32\shell32.dll
ThreadingModel=REG_SZ:Apartment
[HKCR\CLSID\{1f486a52-3cb1-48fd-8f50-b8dc300d9f9d}\InProcServer32]
@=REG_EXPAND_SZ:%SystemRoot%\system32\propsys.dll
ThreadingModel=REG_SZ:Both
[HKCR\CLSID\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\LocalServer32]
@=REG_EXPAND_SZ:%SystemRoot%\explorer.exe
[HKCR\Interface\{00000000-0000-0000-C000-000000000046}]
@=REG_SZ:IUnknown
[HKU\.DEFAULT\Control Panel\International]
LocaleName=REG_SZ:en-US
[HKU\S-1-5-18\Software\Microsoft\Windows\CurrentVersion\Explorer]
[HKU\S-1-5-20\Control Panel\International]
sCountry=REG_SZ:United States
[HKCC\System\CurrentControlSet\Control\Print\Printers]
[HKCC\Software\Fonts]
LogPixels=REG_DWORD:96
)";

struct SService {
    std::string_view m_name;
    std::string_view m_display;
    std::string_view m_image;
    int m_nStart;
    int m_nType;
};

constexpr std::array<SService, 24> SERVICES = {{
    {"AudioSrv", "Windows Audio",
     "%SystemRoot%\\System32\\svchost.exe -k LocalServiceNetworkRestricted -p", 2, 32},
    {"BITS", "Background Intelligent Transfer Service",
     "%SystemRoot%\\System32\\svchost.exe -k netsvcs -p", 3, 32},
    {"Dhcp", "DHCP Client",
     "%SystemRoot%\\system32\\svchost.exe -k LocalServiceNetworkRestricted -p", 2, 32},
    {"Dnscache", "DNS Client", "%SystemRoot%\\system32\\svchost.exe -k NetworkService -p", 2, 32},
    {"EventLog", "Windows Event Log",
     "%SystemRoot%\\System32\\svchost.exe -k LocalServiceNetworkRestricted -p", 2, 32},
    {"LanmanServer", "Server", "%SystemRoot%\\system32\\svchost.exe -k netsvcs -p", 2, 32},
    {"LanmanWorkstation", "Workstation", "%SystemRoot%\\System32\\svchost.exe -k NetworkService -p",
     2, 32},
    {"mpssvc", "Windows Defender Firewall",
     "%SystemRoot%\\system32\\svchost.exe -k LocalServiceNoNetworkFirewall -p", 2, 32},
    {"Schedule", "Task Scheduler", "%systemroot%\\system32\\svchost.exe -k netsvcs -p", 2, 32},
    {"Spooler", "Print Spooler", "%SystemRoot%\\System32\\spoolsv.exe", 2, 16},
    {"W32Time", "Windows Time", "%SystemRoot%\\system32\\svchost.exe -k LocalService", 3, 32},
    {"WinDefend", "Microsoft Defender Antivirus Service",
     "\"C:\\ProgramData\\Microsoft\\Windows Defender\\platform\\MsMpEng.exe\"", 2, 16},
    {"Winmgmt", "Windows Management Instrumentation",
     "%systemroot%\\system32\\svchost.exe -k netsvcs -p", 2, 32},
    {"wuauserv", "Windows Update", "%systemroot%\\system32\\svchost.exe -k netsvcs -p", 3, 32},
    {"CryptSvc", "Cryptographic Services",
     "%SystemRoot%\\system32\\svchost.exe -k NetworkService -p", 2, 32},
    {"Themes", "Themes", "%SystemRoot%\\System32\\svchost.exe -k netsvcs -p", 2, 32},
    {"TrustedInstaller", "Windows Modules Installer",
     "%SystemRoot%\\servicing\\TrustedInstaller.exe", 3, 16},
    {"VSS", "Volume Shadow Copy", "%systemroot%\\system32\\vssvc.exe", 3, 16},
    {"Tcpip", "TCP/IP Protocol Driver", "System32\\drivers\\tcpip.sys", 0, 1},
    {"disk", "Disk Driver", "System32\\drivers\\disk.sys", 0, 1},
    {"Ntfs", "Ntfs", "", 3, 2},
    {"volmgr", "Volume Manager Driver", "System32\\drivers\\volmgr.sys", 0, 1},
    {"i8042prt", "i8042 Keyboard and PS/2 Mouse Port Driver",
     "\\SystemRoot\\System32\\drivers\\i8042prt.sys", 3, 1},
    {"RasMan", "Remote Access Connection Manager", "%SystemRoot%\\System32\\svchost.exe -k netsvcs",
     3, 32},
}};

struct SExtension {
    std::string_view m_ext;
    std::string_view m_progId;
    std::string_view m_contentType;
};

constexpr std::array<SExtension, 16> EXTENSIONS = {{
    {".txt", "txtfile", "text/plain"},
    {".exe", "exefile", "application/x-msdownload"},
    {".dll", "dllfile", "application/x-msdownload"},
    {".bat", "batfile", "application/x-bat"},
    {".cmd", "cmdfile", ""},
    {".htm", "htmlfile", "text/html"},
    {".html", "htmlfile", "text/html"},
    {".jpg", "jpegfile", "image/jpeg"},
    {".png", "pngfile", "image/png"},
    {".zip", "CompressedFolder", "application/x-zip-compressed"},
    {".lnk", "lnkfile", ""},
    {".reg", "regfile", "text/plain"},
    {".ps1", "Microsoft.PowerShellScript.1", ""},
    {".xml", "xmlfile", "text/xml"},
    {".pdf", "AcroExch.Document.DC", "application/pdf"},
    {".ini", "inifile", "text/plain"},
}};

void AppendServices(std::string& str) {
    for (const SService& s : SERVICES) {
        str += "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
        str.append(s.m_name).append("]\nDisplayName=REG_SZ:").append(s.m_display);
        if (!s.m_image.empty())
            str.append("\nImagePath=REG_EXPAND_SZ:").append(s.m_image);
        str += "\nStart=REG_DWORD:" + std::to_string(s.m_nStart);
        str += "\nType=REG_DWORD:" + std::to_string(s.m_nType);
        str += "\nErrorControl=REG_DWORD:1\n[HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
        str.append(s.m_name).append("\\Parameters]\n");
    }
}

void AppendExtensions(std::string& str) {
    for (const SExtension& e : EXTENSIONS) {
        str.append("[HKCR\\").append(e.m_ext).append("]\n@=REG_SZ:").append(e.m_progId);
        if (!e.m_contentType.empty())
            str.append("\nContent Type=REG_SZ:").append(e.m_contentType);
        str.append("\n[HKCR\\").append(e.m_ext).append("\\OpenWithProgids]\n");
        str.append("[HKCR\\").append(e.m_progId).append("\\DefaultIcon]\n");
    }
}

} // namespace

std::string SimSeedText() {
    std::string str(FIXED_KEYS);
    AppendServices(str);
    AppendExtensions(str);
    return str;
}
