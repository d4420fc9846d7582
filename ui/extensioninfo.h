#pragma once
// Opening a web address in the browser the user has chosen. The browser's command template is
// found through the desktop's MIME associations, the address is put into it and the program is
// started with an argument vector; no shell sees the address.
#include "platform/BrowserLookup.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbora {

struct TExtensionInfo {
    bool Known = false;  // a handler is registered for the extension
    std::string Command; // its command template (an Exec= line), possibly empty
};

// The registered handler of a file extension such as ".htm". For ".htm" and ".html" the
// handler of http: addresses is preferred to that of HTML files.
TExtensionInfo GetExtensionInfo(const std::string& extension);
TExtensionInfo GetExtensionInfo(const std::string& extension, const TXdgDirs& dirs);

// The command template of a registered handler class (a desktop file id such as
// "firefox-esr.desktop"); empty when it is not installed.
std::string GetClassCommand(const std::string& classKey);
std::string GetClassCommand(const std::string& classKey, const TXdgDirs& dirs);

// What SplitCommand may consult besides its arguments.
struct TSplitEnv {
    std::function<std::optional<std::string>(const std::string&)> GetEnv; // %NAME% values
    std::vector<std::string> SearchDirs; // where a program named without a folder is looked for
};
// The process environment and the folders of $PATH.
TSplitEnv DefaultSplitEnv();

struct TSplitResult {
    std::string Program;   // program file to start
    std::string Arguments; // argument text with the address in place
    bool Success = false;  // a program file was found
};

// Puts the address into a command template and separates program and arguments.
// Templates with ".exe" follow the Windows registry conventions (placeholders %1, %L, ...).
// Other templates are freedesktop Exec= lines: the first word (quotes honoured) is the program,
// looked up on the search folders when it has no "/", and %u %U %f %F are placeholders; the
// other field codes are dropped and "%%" is a plain "%". A placeholder inside a quoted argument
// with other text receives the address shell-quoted ('...').
TSplitResult SplitCommand(const std::string& commandTemplate, const std::string& address);
TSplitResult SplitCommand(const std::string& commandTemplate, const std::string& address,
                          const TSplitEnv& env);

// Cuts an argument text into arguments: blanks separate, double quotes group, and inside
// quotes a backslash makes the next one of " ` $ \ literal.
std::vector<std::string> SplitArguments(const std::string& text);

// The address in a form safe to hand to another program, or empty when it is not an absolute
// http:, https: or mailto: address. Only unreserved characters and the delimiters
// : / ? # [ ] @ * + , = stay as they are; everything else, including $ ( ) ; & ' ! that a shell
// would read, is percent-encoded.
std::string SafeLinkAddress(const std::string& address);

// What OpenLink uses to find and start the browser.
struct TLinkEnv {
    std::function<std::string()> BrowserCommand; // command template for web pages, or empty
    TSplitEnv Split;
    std::function<bool(const std::string& program, const std::vector<std::string>& args)> Launch;
};
// The desktop's registered web-page handler, started as a detached process.
TLinkEnv DefaultLinkEnv();

// Opens an http:, https: or mailto: address in the user's browser (or through xdg-open when
// no browser is registered). True when a program was started; other addresses are refused.
bool OpenLink(const std::string& address);
bool OpenLink(const std::string& address, const TLinkEnv& env);

} // namespace nimbora
