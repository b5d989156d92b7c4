// The language server's state: the open documents and the latest assembly of each, and the
// queries on it that both the dispatcher and the requests make.
#pragma once
#include "tools/orbls/assembly.h"
#include "tools/orbls/documents.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

using t_clock = std::chrono::steady_clock;

// The latest assembly of an open document, and whether it must run again.
struct t_document_run {
    t_assembly assembly;
    bool due = false;            // the text it read has changed
    t_clock::time_point due_at;  // when to run: after the debounce
    t_clock::time_point changed; // when the editor last changed the document
};

struct t_server {
    t_document_store store;
    std::map<std::string, t_document_run> runs; // by path, for every open document
    t_settings settings;
    bool initialized = false;
    bool shutdown_requested = false;
    bool exit_requested = false;
    int exit_code = 0;                // once exit_requested: 0 after a shutdown request, else 1
    std::vector<std::string> output;  // messages to send, in order
};

// The assemblies that know a document, best first: its own when it succeeded, then those of open
// documents that include it and succeeded, then its own and the others that failed.
std::vector<const t_assembly*> assemblies_for(const t_server& server, const t_document& document);
// The URI of a path: the editor's own for an open document.
std::string uri_of_path(const t_server& server, const std::string& path);
