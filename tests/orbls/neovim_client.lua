-- Neovim's own LSP client against the real orbls: a program whose included file has an error.
-- Run by neovim_client.sh in a workspace holding main.asm and inc.asm; ORBLS names the server.
-- Every check prints "ok" or "FAIL"; any failure ends Neovim with exit code 1.
local failures = 0
local function check(condition, what, got)
  if condition then
    io.stderr:write('ok   ' .. what .. '\n')
  else
    failures = failures + 1
    io.stderr:write('FAIL ' .. what .. ': got ' .. vim.inspect(got) .. '\n')
  end
end
local function finish()
  io.stderr:write(failures == 0 and 'all checks passed\n' or (failures .. ' checks failed\n'))
  vim.cmd(failures == 0 and 'qall!' or 'cquit 1')
end

local root = vim.fn.getcwd()
local exit_code = nil
local client = vim.lsp.start_client({
  name = 'orbls',
  cmd = { os.getenv('ORBLS') },
  root_dir = root,
  init_options = { includePaths = {}, defines = {} },
  on_exit = function(code) exit_code = code end,
})
check(client ~= nil, 'the client starts orbls', client)

vim.cmd('edit main.asm')
local main = vim.api.nvim_get_current_buf()
vim.lsp.buf_attach_client(main, client)

-- A diagnostic as "line:start-line:end message", 0-based, columns as the server sent them.
local function diagnostics_of(buffer)
  local texts = {}
  for _, d in ipairs(vim.diagnostic.get(buffer)) do
    table.insert(texts, d.lnum .. ':' .. d.col .. '-' .. d.end_lnum .. ':' .. d.end_col .. ' ' .. d.message)
  end
  return table.concat(texts, '; ')
end
local function wait_for(buffer, expected)
  vim.wait(10000, function() return diagnostics_of(buffer) == expected end, 10)
  return diagnostics_of(buffer)
end

local got = wait_for(main, '3:1-3:19 Syntax Error (in inc.asm:2)')
check(got == '3:1-3:19 Syntax Error (in inc.asm:2)', 'the error of inc.asm at the #include line of main.asm', got)

local function ask(buffer, method, line, character, extra)
  local params = { textDocument = { uri = vim.uri_from_bufnr(buffer) }, position = { line = line, character = character } }
  for key, value in pairs(extra or {}) do params[key] = value end
  local answers = vim.lsp.buf_request_sync(buffer, method, params, 5000) or {}
  local answer = answers[client] or {}
  return answer.result
end
local function locations(result)
  local texts = {}
  for _, l in ipairs(result or {}) do
    table.insert(texts, vim.fn.fnamemodify(vim.uri_to_fname(l.uri), ':t') .. ' ' .. l.range.start.line .. ':' ..
      l.range.start.character .. '-' .. l.range['end'].line .. ':' .. l.range['end'].character)
  end
  return table.concat(texts, '; ')
end

local hover = ask(main, 'textDocument/hover', 2, 8)
got = hover and hover.contents.value
-- inc.asm has an error: the lines that assembled still have their addresses and bytes
check(got == '`size` constant = 10 (0000000Ah)\n\n---\n\naddress 00000000h: 00 A8 0A 00', 'hover on a constant', got)
hover = ask(main, 'textDocument/hover', 2, 1)
got = hover and hover.contents.value or ''
check(got:find('| `ld d,s` register from register | 0000 + 16·d + s |', 1, true) ~= nil, 'hover on ld shows its forms', got)
got = locations({ ask(main, 'textDocument/definition', 2, 8) })
check(got == 'main.asm 0:7-0:11', 'definition of a constant', got)
got = locations(ask(main, 'textDocument/references', 2, 8, { context = { includeDeclaration = true } }))
check(got == 'main.asm 0:7-0:11; main.asm 2:7-2:11', 'references of a constant', got)

-- The included file in a buffer of its own: its error at its place, then fixed by an edit.
vim.cmd('edit inc.asm')
local inc = vim.api.nvim_get_current_buf()
vim.lsp.buf_attach_client(inc, client)
got = wait_for(inc, '1:2-1:7 Syntax Error')
check(got == '1:2-1:7 Syntax Error', 'the error in inc.asm at its own place', got)
vim.api.nvim_buf_set_lines(inc, 1, 2, false, { '  sub cx,dx' })
got = wait_for(inc, '')
check(got == '', 'the fixed inc.asm has no diagnostics', got)
got = wait_for(main, '')
check(got == '', 'main.asm, which includes it, has none either', got)

-- Now the program assembles: addresses, and names used after the include.
hover = ask(main, 'textDocument/hover', 4, 7)
got = hover and hover.contents.value
check(got == '`@start` label at 00000000h (0)\n\n---\n\naddress 00000008h: 00 B8 00 00', 'hover on a label', got)
got = locations({ ask(main, 'textDocument/definition', 4, 7) })
check(got == 'main.asm 1:0-1:6', 'definition of a label', got)
got = locations(ask(inc, 'textDocument/references', 1, 0, { context = { includeDeclaration = true } }))
check(got == '', 'no name at the start of a line', got)

vim.lsp.stop_client(client)
vim.wait(5000, function() return exit_code ~= nil end, 10)
check(exit_code == 0, 'orbls ends with exit code 0 after shutdown and exit', exit_code)
finish()
