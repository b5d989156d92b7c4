// The orbasm extension: starts the orbls language server for orbasm files and restarts it when
// its settings change. Plain JavaScript, so it needs no build step.
'use strict';

const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client = null; // the running client, or null

// The settings the server receives once, at initialisation: { includePaths, defines }.
function initialization_options(config) {
    const include_paths = config.get('includePaths', []);
    const defines = config.get('defines', {});
    return {
        includePaths: Array.isArray(include_paths) ? include_paths.filter((p) => typeof p === 'string') : [],
        defines: defines !== null && typeof defines === 'object' && !Array.isArray(defines) ? defines : {},
    };
}

// The server executable: orbasm.serverPath, orbls when that is empty.
function server_command() {
    return vscode.workspace.getConfiguration('orbasm').get('serverPath', 'orbls') || 'orbls';
}

// A client for the server named by orbasm.serverPath. No transport is given: the client then
// talks over the process's standard input and output without adding a --stdio argument.
function create_client() {
    const config = vscode.workspace.getConfiguration('orbasm');
    const server = { command: server_command(), args: [] };
    const client_options = {
        documentSelector: [
            { scheme: 'file', language: 'orbasm' },
            { scheme: 'untitled', language: 'orbasm' },
        ],
        initializationOptions: initialization_options(config),
    };
    return new LanguageClient('orbasm', 'orbasm language server', { run: server, debug: server }, client_options);
}

async function start_server() {
    client = create_client();
    try {
        await client.start();
    } catch (error) {
        vscode.window.showErrorMessage(`orbasm: could not start the language server "${server_command()}" ` +
            `(set orbasm.serverPath): ${error}`);
    }
}

async function stop_server() {
    if (client === null)
        return;
    const stopping = client;
    client = null;
    try {
        await stopping.stop();
    } catch {
        // a server that never started cannot be stopped; nothing is left to clean up
    }
}

// Restarts run one after another, so that quick changes of setting leave one server running.
let restarts = Promise.resolve();
function restart_server() {
    restarts = restarts.then(async () => {
        await stop_server();
        await start_server();
    });
    return restarts;
}

function activate(context) {
    context.subscriptions.push(
        vscode.commands.registerCommand('orbasm.restartServer', restart_server),
        vscode.workspace.onDidChangeConfiguration((event) => {
            if (event.affectsConfiguration('orbasm'))
                restart_server();
        }));
    return start_server();
}

function deactivate() {
    return stop_server();
}

module.exports = { activate, deactivate };
