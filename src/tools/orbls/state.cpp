// The queries on the language server's state.
#include "tools/orbls/state.h"

#include <algorithm>

std::string uri_of_path(const t_server& server, const std::string& path) {
    const auto found = server.store.by_path.find(path);
    return found != server.store.by_path.end() ? found->second.uri : path_to_uri(path);
}

std::vector<const t_assembly*> assemblies_for(const t_server& server, const t_document& document) {
    std::vector<const t_assembly*> found;
    const auto own = server.runs.find(document.path);
    for (const bool ok : {true, false}) {
        if (own != server.runs.end() && own->second.assembly.ok == ok)
            found.push_back(&own->second.assembly);
        for (const auto& [path, run] : server.runs) {
            const std::vector<std::string>& read = run.assembly.files_read;
            if (path != document.path && run.assembly.ok == ok &&
                std::find(read.begin(), read.end(), document.path) != read.end())
                found.push_back(&run.assembly);
        }
    }
    return found;
}
