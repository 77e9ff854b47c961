#pragma once

#include <string>

namespace e2e {

// The fixed part of the help page, up to and including "Available Network Adapters:".
inline const std::string& fixedHelpText()
{
    static const std::string text = "\n"
                                    "Brimlet 1.0\n"
                                    "\n"
                                    "Maintains a Upload/Download Traffic Database.\n"
                                    "Usage: Brimlet <options> <pattern>\n"
                                    "Options:\n"
                                    "  help  Prints this page\n"
                                    "  list  List all traffic data (for debugging purposes)\n"
                                    "        An internal format is used, the pattern is not needed.\n"
                                    "  server servername\n"
                                    "        Connects to \\\\servername and uses its traffic data.\n"
                                    "        (The remote PC must be running a Server Operating System)\n"
                                    "  user username\n"
                                    "        Uses username to connect to WMI.\n"
                                    "        (Mostly needed for remote traffic display)\n"
                                    "  pass password\n"
                                    "        Uses password to connect to WMI.\n"
                                    "Pattern: A String in Quotes describing the output.\n"
                                    " The following identifiers are replaced by their values:\n"
                                    "  %u   Uploaded Bytes\n"
                                    "  %d   Downloaded Bytes\n"
                                    "  %t   Total Bytes\n"
                                    "  %%   Percent sign\n"
                                    "  %b   Line break\n"
                                    " The identifiers %u, %d and %t can be modified by:\n"
                                    "  s    The System Locale setting will be used for inserting\n"
                                    "       Thousands Separators\n"
                                    "  k    The number will be in Kilobytes\n"
                                    "  m    The number will be in Megabytes\n"
                                    "  g    The number will be in Gigabytes\n"
                                    "  e    The number will be in Terabytes\n"
                                    "  a    Automatic adjusting of the number format\n"
                                    "  n0-  Use traffic data from network adapter 0-9 (see list below)\n"
                                    "   n9  If omitted, total traffic is used.\n"
                                    "  D    Only today's traffic (since midnight)\n"
                                    "  M    Only this month's traffic\n"
                                    "Data is thrown away if older than one year.\n"
                                    "Examples:\n"
                                    "  Brimlet \"%sku up %skd down\"\n"
                                    "  Brimlet \"%n2t bytes traffic on adapter 2, %gt GB total\"\n"
                                    "  Brimlet \"%Mmu MB upload this month (%Dmu MB today)\"\n"
                                    "  Brimlet server MyServer user Admin pass MySecretPw42 \"%Met TB traffic\"\n"
                                    "\n"
                                    "Available Network Adapters:\n";
    return text;
}

} // namespace e2e
