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

// Adds the commands and repeat blocks of one file. With `replace` a definition
// replaces one of the same key (user files); without, the first one stays
// (built-in files). False, with `error` naming the file and the line, when the
// text is not a valid definition file; nothing of it is added then.
bool loadDefinitionText(std::string_view text, std::string_view fileName, RemoteCommandCatalogue& catalogue,
                        const MessageFn& message, std::string& error, bool replace = false);
// A user file: its definitions replace built-in ones of the same key.
bool loadDefinitionFile(const std::string& path, RemoteCommandCatalogue& catalogue, const MessageFn& message,
                        std::string& error);

// The built-in catalogue and repeat blocks.
RemoteCommandCatalogue buildRemoteCommandCatalogue(const MessageFn& message = {});

} // namespace tarvik::remote
