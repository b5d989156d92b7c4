// Copies the TextMate grammar, kept once for every editor in ../textmate, into this extension:
// VS Code loads a grammar only from inside the extension's folder. Run by npm install and by
// packaging (vscode:prepublish).
'use strict';

const fs = require('fs');
const path = require('path');

const source = path.join(__dirname, '..', 'textmate', 'orbasm.tmLanguage.json');
const target_folder = path.join(__dirname, 'syntaxes');
fs.mkdirSync(target_folder, { recursive: true });
fs.copyFileSync(source, path.join(target_folder, 'orbasm.tmLanguage.json'));
