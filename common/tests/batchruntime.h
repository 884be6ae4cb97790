#pragma once
// The runtime services of a program run without a screen (benchmarks, load runs): every
// message goes to standard error (as every box does) and is answered with OK, ending
// the program ends the process, the program's folder is the one given.
#include "common/runtimeservices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kov {

class BatchRuntime : public RuntimeServices {
public:
    explicit BatchRuntime(std::string appPath) : m_appPath(std::move(appPath)) {}
    void doEvents() override {}
    std::string appPath() const override { return m_appPath; }
    std::string commandLine() const override { return {}; }

protected:
    [[noreturn]] void endProcess(int status) override
    {
        std::fflush(stdout);
        std::exit(status);
    }
    MsgResult showMessage(const std::string&, MsgIcon, MsgButtons, const std::string&) override
    {
        return MsgResult::Ok;
    }

private:
    std::string m_appPath;
};

} // namespace kov
