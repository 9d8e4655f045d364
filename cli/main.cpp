// dulvet: the relay on the command line. See HelpText() or "dulvet --help".

#include <memory>

#include "cli/CliOptionParser.h"
#include "cli/CliRunner.h"
#include "cli/CliRelayEngine.h"
#include "DulvetVersion.h"
#include "cli/LineWriter.h"
#include "cli/CliLinkEngine.h"
#include "cli/Profiles.h"
#include "cli/SignalWatch.h"

namespace {

// The engine the options ask for.
std::unique_ptr<Engine> MakeEngine(const CliOptions& options)
{
    if (options.linkEngine)
        return std::make_unique<CliLinkEngine>(options.link);
    return std::make_unique<CliRelayEngine>(options);
}

}  // namespace

int main(int argc, char** argv)
{
    SignalWatch signals;  // first, before any thread starts
    const CliParse parse = ParseCommandLine(ProgramArguments(argc, argv));
    switch (parse.outcome) {
    case CliParse::Outcome::Help:
        WriteLinesNow(StdStream::Out, HelpText());
        return 0;
    case CliParse::Outcome::ProfileList:
        WriteLinesNow(StdStream::Out, ProfileListText());
        return 0;
    case CliParse::Outcome::Version:
        WriteLinesNow(StdStream::Out, "dulvet " DULVET_VERSION_TEXT "\n");
        return 0;
    case CliParse::Outcome::BadInput:
        WriteLinesNow(StdStream::Err, "dulvet: " + parse.error + "\n" + UsageText());
        return 2;
    case CliParse::Outcome::Run:
        break;
    }
    const std::unique_ptr<Engine> engine = MakeEngine(parse.options);
    return CliRunner(parse.options, *engine, signals).Run();
}
