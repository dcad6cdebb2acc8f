-- wrk script for plain GETs (the path comes from the URL): only the result line.
local here = debug.getinfo(1, "S").source:match("^@(.*/)") or "./"
dofile(here .. "report.lua")
