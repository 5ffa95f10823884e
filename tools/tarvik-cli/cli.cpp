// The options several of tarvik-cli's subcommands share.

#include "tools/tarvik-cli/cli.h"

#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "net/address.h"

namespace tarvik::cli {

CLI::Option* addLayoutsOption(CLI::App& command) {
    return command
        .add_option_function<std::string>(
            "--layouts", [](const std::string& dir) { CMyTarvikView::layoutOptions().directory = dir; },
            "also load the layout definition files of DIR (after the user's own)")
        ->type_name("DIR");
}

CLI::Option* addSecondsOption(CLI::App& command, double& seconds, const std::string& text) {
    return command.add_option("--seconds", seconds, text)->type_name("S")->check(options::decimalNumber(0, 1e6));
}

CLI::Option* addFilterOption(CLI::App& command, std::string& filter) {
    filter = std::string(kAllRecords);
    return command
        .add_option("--filter", filter,
                    "the record filter's text, e.g. \"7000; 7004\"; a record is listed\n"
                    "when its type occurs anywhere in TEXT (default \"ALL RECORDS\")")
        ->type_name("TEXT");
}

CLI::Validator hostAddress() {
    return CLI::Validator(
        [](std::string& input) -> std::string {
            const std::string host = net::normaliseAddress(input);
            if (!net::isIPv4Address(host)) return input + " is not a dotted IPv4 address";
            input = host;
            return {};
        },
        "");
}

CLI::Validator portNumber() {
    return CLI::Validator(
        [](std::string& input) -> std::string {
            return net::parsePort(input) ? std::string() : input + " is not a port number from 1 to 65535";
        },
        "");
}

} // namespace tarvik::cli
