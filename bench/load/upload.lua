-- wrk script: posts one fixed multipart body of about 10 KB (two text fields and a
-- 10 000-byte file) to the path of the URL. Each request names a slot the server saves
-- the file under; a thread cycles through 64 slots of its own, so no two requests in
-- flight share a file and a long run keeps the disk small.
local here = debug.getinfo(1, "S").source:match("^@(.*/)") or "./"
dofile(here .. "report.lua")

local divider = "----FerroliftLoadBench5f0c2a9e"
local function part_head(name, filename)
  local head = "--" .. divider .. "\r\nContent-Disposition: form-data; name=\"" .. name .. "\""
  if filename then
    head = head .. "; filename=\"" .. filename .. "\"\r\nContent-Type: application/octet-stream"
  end
  return head .. "\r\n\r\n"
end

-- 10 000 file bytes from a small generator: every byte value, no divider by chance.
local bytes, state = {}, 12345
for i = 1, 10000 do
  state = (state * 1103515245 + 12345) % 2147483648
  bytes[i] = string.char(math.floor(state / 65536) % 256)
end
local body = part_head("title") .. "Quarterly figures" .. "\r\n" ..
             part_head("note") .. string.rep("A short note that travels with the file. ", 2) .. "\r\n" ..
             part_head("file", "figures.bin") .. table.concat(bytes) .. "\r\n" ..
             "--" .. divider .. "--\r\n"
local headers = { ["Content-Type"] = "multipart/form-data; boundary=" .. divider }

-- setup() runs in the main state and names each thread; prefix is set as a global there.
local threads, counter = 0, 0
prefix = "t0"
function setup(thread)
  thread:set("prefix", "t" .. threads)
  threads = threads + 1
end

function request()
  counter = counter + 1
  local path = wrk.path .. (wrk.path:find("?", 1, true) and "&" or "?") .. "slot=" .. prefix .. "-" .. (counter % 64)
  return wrk.format("POST", path, headers, body)
end
