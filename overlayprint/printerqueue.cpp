#include "printerqueue.h"

#ifndef _WIN32
#include <cups/cups.h>
#endif

namespace kov::overlayprint {

#ifndef _WIN32

std::string printerRefusal(const std::string& name)
{
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
    if (!dest) return "プリンター「" + name + "」が見つかりません（OVLPRINT.INI の Printer を確かめてください）。";
    const char* accepting = cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    std::string why;
    if (accepting && std::string(accepting) == "false")
        why = "プリンター「" + name + "」が印刷を受け付けていません。プリンターの管理者に確かめてください。";
    cupsFreeDests(1, dest);
    return why;
}

std::string submissionFailure(const std::string& name)
{
    // The print layer submits the job in this thread through the same library; its last
    // status is the answer to that submission.
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) return {};
    const char* text = cupsLastErrorString();
    return "プリンター「" + name + "」が印刷を受け付けませんでした（" + std::string(text ? text : "") + "）。";
}

#else

std::string printerRefusal(const std::string&) { return {}; }
std::string submissionFailure(const std::string&) { return {}; }

#endif

} // namespace kov::overlayprint
