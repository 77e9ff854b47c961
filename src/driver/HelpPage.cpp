#include "driver/HelpPage.h"

#include "platform/AdapterChoice.h"
#include "platform/VisibleText.h"

#include <ostream>

namespace {

constexpr const char* helpLines[] = {
    "",
    "Brimlet 1.0",
    "",
    "Maintains a Upload/Download Traffic Database.",
    "Usage: Brimlet <options> <pattern>",
    "Options:",
    "  help  Prints this page",
    "  list  List all traffic data (for debugging purposes)",
    "        An internal format is used, the pattern is not needed.",
    "  server servername",
    "        Connects to \\\\servername and uses its traffic data.",
    "        (The remote PC must be running a Server Operating System)",
    "  user username",
    "        Uses username to connect to WMI.",
    "        (Mostly needed for remote traffic display)",
    "  pass password",
    "        Uses password to connect to WMI.",
    "Pattern: A String in Quotes describing the output.",
    " The following identifiers are replaced by their values:",
    "  %u   Uploaded Bytes",
    "  %d   Downloaded Bytes",
    "  %t   Total Bytes",
    "  %%   Percent sign",
    "  %b   Line break",
    " The identifiers %u, %d and %t can be modified by:",
    "  s    The System Locale setting will be used for inserting",
    "       Thousands Separators",
    "  k    The number will be in Kilobytes",
    "  m    The number will be in Megabytes",
    "  g    The number will be in Gigabytes",
    "  e    The number will be in Terabytes",
    "  a    Automatic adjusting of the number format",
    "  n0-  Use traffic data from network adapter 0-9 (see list below)",
    "   n9  If omitted, total traffic is used.",
    "  D    Only today's traffic (since midnight)",
    "  M    Only this month's traffic",
    "Data is thrown away if older than one year.",
    "Examples:",
    "  Brimlet \"%sku up %skd down\"",
    "  Brimlet \"%n2t bytes traffic on adapter 2, %gt GB total\"",
    "  Brimlet \"%Mmu MB upload this month (%Dmu MB today)\"",
    "  Brimlet server MyServer user Admin pass MySecretPw42 \"%Met TB traffic\"",
    "",
    "Available Network Adapters:",
};

} // namespace

void printUsage(std::ostream& out)
{
    for (const char* line : helpLines)
        out << line << '\n' << std::flush;
}

void printAdapters(const Reading& reading, const platform::AdapterChoice& choice, std::ostream& out)
{
    for (std::size_t number = 0; number < choice.numbered.size(); ++number) {
        const AdapterReading& adapter = reading.adapters[choice.numbered[number]];
        out << "Interface " << number << ": " << platform::visibleText(adapter.name);
        if (adapter.received)
            out << " Received: " << *adapter.received;
        if (adapter.sent)
            out << " Sent: " << *adapter.sent;
        out << '\n' << std::flush;
    }
}
