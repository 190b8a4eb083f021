// Tarvel scripts in VS Code: the colours come from the grammar in syntaxes/; this starts the
// player's language server (`tarvel --lsp`).
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client = null;

// The player as the setting names it, started in the first workspace folder so that a relative
// path is taken from there.
function serverOptions() {
    const command = vscode.workspace.getConfiguration('tarvel').get('path') || 'tarvel';
    const folder = vscode.workspace.workspaceFolders?.[0];
    return { command, args: ['--lsp'], options: folder ? { cwd: folder.uri.fsPath } : {} };
}

async function start() {
    const server = serverOptions();
    client = new LanguageClient('tarvel', 'Tarvel', server, {
        documentSelector: [{ scheme: 'file', language: 'tarvel' }],
    });
    try {
        await client.start();
    } catch (error) {
        client = null;
        vscode.window.showErrorMessage(
            `Tarvel: '${server.command} --lsp' did not start (${error.message}). ` +
                "Set 'tarvel.path' to the player.",
        );
    }
}

async function stop() {
    if (client === null) return;
    const stopping = client;
    client = null;
    await stopping.stop();
}

async function activate(context) {
    context.subscriptions.push(
        vscode.workspace.onDidChangeConfiguration(async (event) => {
            if (!event.affectsConfiguration('tarvel.path')) return;
            await stop();
            await start();
        }),
    );
    await start();
}

function deactivate() {
    return stop();
}

module.exports = { activate, deactivate };
