local M = {}
function M.trot(x)
end
local function hidden()
end
return M
