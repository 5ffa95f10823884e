#pragma once
// Reading command definition files (YAML) into the command catalogue. The
// built-in files are compiled in; a user may add files of the same form.

#include "remote/definitions.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

struct DefinitionFile {
    std::string_view name;
    std::string_view text;
};

// The files of data/layouts/remote-*.yaml, as compiled in.
const std::vector<DefinitionFile>& builtInDefinitionFiles();

// Adds the commands and repeat blocks of one file. Commands already in the
// catalogue keep their first definition. False, with `error` set to a line
// naming the file and the place, when the text is not a valid definition file.
bool loadDefinitionText(std::string_view text, std::string_view fileName, RemoteCommandCatalogue& catalogue,
                        const MessageFn& message, std::string& error);
bool loadDefinitionFile(const std::string& path, RemoteCommandCatalogue& catalogue, const MessageFn& message,
                        std::string& error);

// The built-in catalogue and repeat blocks.
RemoteCommandCatalogue buildRemoteCommandCatalogue(const MessageFn& message = {});

} // namespace tarvik::remote
