local M = {}
function M.f(a) return a end
function M:g() end
local function h() end
function top(...) end
--[[ long
comment ]]
local s = [[ long
string ]]
return M
