#pragma once
// Turns a failure status of the data-access component into a fatal stop-icon
// message: a ProgramStop that the top of the user action shows before it ends the
// program, without any clean-up of the program (tables and connection stay open).
#include "runtimeservices.h"

#include <cstdint>
#include <string>

namespace kov {

class ComTessera {
public:
    std::string p_strDbName;
    std::string p_strTbName;
    std::string p_strMsgTitle;

    void prsStatusNames(const std::string& dbName, const std::string& tbName, const std::string& title);
    // exemption kExemptEndOfRows (-1) lets kStatusEof and kStatusRowInitFailed pass; 0
    // and positive statuses pass; any other status raises a ProgramStop with its message
    // (stop icon, exit status kExitFatal). `detail`, the component's cause of the failure
    // (ComObject::failureDetail), follows the message on a line of its own.
    void prsStatusCheck(std::int16_t status, std::int16_t exemption, const std::string& detail = {});

    // The caption of the calling screen: the title of the box while p_strMsgTitle is
    // empty.
    void setScreenCaption(const std::string& caption) { m_screenCaption = caption; }
    const std::string& screenCaption() const { return m_screenCaption; }

    // The message text for a negative status, with the names inserted (without the
    // line breaks and the "Err Status" line).
    static std::string statusText(std::int16_t status, const std::string& dbName, const std::string& tbName);
    // The whole text of the box: statusText, CR LF, CR LF, "Err Status = -N".
    static std::string messageText(std::int16_t status, const std::string& dbName, const std::string& tbName);

    // The exemption flag that lets the end of the rows and a failed row initialisation
    // pass (a truth value: -1).
    static constexpr std::int16_t kExemptEndOfRows = -1;

private:
    std::string m_screenCaption;
};

} // namespace kov
