-- Wireshark / tshark dissector of the Talvex device protocol, for captures written by
-- `talvex --capture FILE.pcapng` or the Protocol Monitor's Save Capture... (link type USER0,
-- 147). One packet is one frame: the 20-byte header (marker, four fixed words, message code,
-- header flags) and its payload. The direction comes from the packet's flags: inbound frames
-- were sent by the device, outbound ones by the client. Value items are decoded by the kind of
-- their control, known from the panel definition seen earlier in the capture.
--
-- Installed into Wireshark's global Lua plugin folder; or run with
--   tshark -X lua_script:talvex.lua -r FILE.pcapng -V

local talvex = Proto("talvex", "Talvex device protocol")

local MARKER = "48eff07472efe666"

local client_codes = {
    [1] = "MSG_CONNECT", [4] = "MSG_DISCONNECT", [7] = "MSG_CLIENT_VALUES", [10] = "MSG_PING",
    [12] = "MSG_PRESENCE_REPLY", [14] = "MSG_ACK", [18] = "MSG_REQUEST",
}
local device_codes = {
    [1] = "MSG_DEVICE_CLOSED", [2] = "MSG_PANEL_INFO", [5] = "MSG_DEVICE_CLOSED",
    [6] = "MSG_PANEL_DEFINITION", [8] = "MSG_PRESENCE_QUERY", [9] = "MSG_DEVICE_VALUES",
    [11] = "MSG_PING_REPLY", [13] = "MSG_DEVICE_ACK", [15] = "MSG_PANEL_CHANGED",
    [16] = "MSG_ATTRIBUTES", [17] = "MSG_FILES", [19] = "MSG_LAYOUT_RECORDS",
    [21] = "MSG_MATRIX_ROWS",
}
local kind_names = {
    "text", "button", "latch", "section", "datetime", "number", "matrix", "password", "list",
    "messagebox", "blob", "file", "unsupported", "image",
}
local letter_kinds = {
    T = 1, B = 2, G = 3, S = 4, D = 5, N = 6, M = 7, P = 8, L = 9, X = 10, O = 11, F = 12, I = 14,
}
local directions = { [0] = "unknown", [1] = "inbound (device to client)",
                     [2] = "outbound (client to device)" }

local CTRL_TEXT16 = 0x4
local ATTR_COLOUR_PRESENT = 0x40
local HF_TITLE_UTF16, HF_NO_PINGS, HF_ACK_REQUEST, HF_KEEP_PANEL = 0x1, 0x2, 0x8, 0x10

local f = talvex.fields
f.direction = ProtoField.uint8("talvex.direction", "Direction", base.DEC, directions)
f.marker = ProtoField.bytes("talvex.marker", "Frame marker")
f.fixed = ProtoField.bytes("talvex.fixed", "Fixed words")
f.code = ProtoField.uint16("talvex.code", "Message code", base.DEC)
f.name = ProtoField.string("talvex.name", "Message")
f.flags = ProtoField.uint16("talvex.flags", "Header flags", base.HEX)
f.flag_title16 = ProtoField.bool("talvex.flags.title_utf16", "Title is UTF-16", 16, nil,
                                 HF_TITLE_UTF16)
f.flag_nopings = ProtoField.bool("talvex.flags.no_pings", "No pings", 16, nil, HF_NO_PINGS)
f.flag_ack = ProtoField.bool("talvex.flags.ack_request", "Acknowledgement requested", 16, nil,
                             HF_ACK_REQUEST)
f.flag_keep = ProtoField.bool("talvex.flags.keep_panel", "Keep panel", 16, nil, HF_KEEP_PANEL)
f.summary = ProtoField.string("talvex.summary", "Summary")
f.count = ProtoField.uint32("talvex.count", "Count", base.DEC)
f.argument = ProtoField.uint32("talvex.argument", "Argument", base.DEC)
f.title = ProtoField.string("talvex.title", "Panel title")
f.about = ProtoField.string("talvex.about", "About text")
f.item = ProtoField.bytes("talvex.item", "Item")
f.id = ProtoField.uint32("talvex.id", "Control id", base.DEC)
f.kind = ProtoField.string("talvex.kind", "Kind")
f.length = ProtoField.uint32("talvex.length", "Length", base.DEC)
f.value = ProtoField.string("talvex.value", "Value")
f.text = ProtoField.string("talvex.text", "Text")
f.number = ProtoField.int32("talvex.number", "Number", base.DEC)
f.attr_flags = ProtoField.uint32("talvex.attr.flags", "New flags", base.HEX)
f.attr_colour = ProtoField.uint32("talvex.attr.colour", "New colour (0x00BBGGRR)", base.HEX)
f.row = ProtoField.uint32("talvex.row.index", "Row index", base.DEC)
f.rows = ProtoField.int32("talvex.row.rows", "Rows value", base.DEC)
f.ctrl = ProtoField.bytes("talvex.control", "Control definition")
f.letter = ProtoField.string("talvex.control.letter", "Letter")
f.ctrl_flags = ProtoField.uint32("talvex.control.flags", "Flags", base.HEX)
f.ctrl_name = ProtoField.string("talvex.control.name", "Name")
f.file_name = ProtoField.string("talvex.file.name", "File name")
f.file_size = ProtoField.uint32("talvex.file.size", "File size", base.DEC)
f.file_data = ProtoField.bytes("talvex.file.data", "File data")
f.layout_property = ProtoField.uint32("talvex.layout.property", "Layout property", base.DEC)
f.layout_value = ProtoField.int32("talvex.layout.value", "Layout value", base.DEC)

local e_short = ProtoExpert.new("talvex.short", "The payload ends before this field",
                                expert.group.MALFORMED, expert.severity.WARN)
local e_marker = ProtoExpert.new("talvex.bad_marker", "No frame marker",
                                 expert.group.MALFORMED, expert.severity.ERROR)
talvex.experts = { e_short, e_marker }

local packet_direction = Field.new("frame.packet_flags_direction")

-- Panels seen so far, by the number of the frame that brought them: value items of a later frame
-- are decoded with the last panel before it.
local panels = {}

function talvex.init()
    panels = {}
end

local function kinds_for(number)
    local best, best_number = nil, -1
    for n, kinds in pairs(panels) do
        if n < number and n > best_number then best, best_number = kinds, n end
    end
    return best or {}
end

-- A reader over the payload: every field checks that it is whole.
local Reader = {}
Reader.__index = Reader
local function reader(tvb, offset, tree)
    return setmetatable({ tvb = tvb, at = offset, tree = tree, short = false }, Reader)
end
function Reader:left() return self.tvb:len() - self.at end
function Reader:take(n, tree)
    if self.short or n > self:left() then
        if not self.short then (tree or self.tree):add_proto_expert_info(e_short) end
        self.short = true
        return nil
    end
    local r = self.tvb(self.at, n)
    self.at = self.at + n
    return r
end
function Reader:u32(tree, field)
    local r = self:take(4, tree)
    if r and field then (tree or self.tree):add_le(field, r) end
    return r and r:le_uint() or nil, r
end

local function cut_at_zero(s)
    local z = s:find("\0", 1, true)
    if z then s = s:sub(1, z - 1) end
    return s
end

local function text_of(range, utf16)
    if not range or range:len() == 0 then return "" end
    if utf16 then
        return cut_at_zero(range:string(ENC_UTF_16 + ENC_LITTLE_ENDIAN))
    end
    return cut_at_zero(range:string(ENC_WINDOWS_1252 or ENC_ASCII))
end

local function shown(s)
    s = s:gsub("[%c]", ".")
    if #s > 60 then s = s:sub(1, 60) .. "..." end
    return '"' .. s .. '"'
end

local function datetime_of(r)
    return string.format("%04u-%02u-%02u %02u:%02u:%02u", r(6, 2):le_uint(), r(5, 1):uint(),
                         r(3, 1):uint(), r(2, 1):uint(), r(1, 1):uint(), r(0, 1):uint())
end

-- One value item's data by its control's kind, in the direction's encoding.
local function value_item(tree, data, n, kind, flags, sent)
    local utf16 = bit.band(flags, CTRL_TEXT16) ~= 0
    local function bytes_text() return n .. (n == 1 and " byte" or " bytes") end
    local value
    if kind == 1 then
        value = shown(text_of(data, utf16))
        tree:add(f.text, data, text_of(data, utf16))
    elseif kind == 2 or kind == 3 or kind == 4 then
        value = n > 0 and tostring(data(0, 1):uint()) or "(empty)"
    elseif kind == 5 then
        value = n >= 8 and datetime_of(data) or bytes_text()
    elseif kind == 6 or kind == 9 then
        if n >= 4 then
            tree:add_le(f.number, data(0, 4))
            value = tostring(data(0, 4):le_int())
        else
            value = bytes_text()
        end
    elseif kind == 8 then
        if sent then value = "request (" .. bytes_text() .. ")"
        else value = (n > 0 and data(0, 1):uint() ~= 0) and "logged in" or "logged out" end
    elseif kind == 10 then
        if sent then value = "answer " .. (n > 0 and tostring(data(0, 1):uint()) or "(empty)")
        else
            value = shown(text_of(data, utf16))
            tree:add(f.text, data, text_of(data, utf16))
        end
    elseif kind == 12 then
        value = n > 0 and bytes_text() or "request"
    elseif kind == 14 then
        value = n > 0 and bytes_text() or "pressed"
    else
        value = bytes_text()
    end
    return value
end

-- Messages 7, 9, 16 and 21: a count, then id, length and data per item.
local function items(rd, code, sent, number)
    local count = rd:u32(rd.tree, f.count)
    if not count then return "" end
    local kinds = kinds_for(number)
    local parts = {}
    for i = 1, count do
        if rd:left() < 8 then
            rd:take(8)
            break
        end
        local start = rd.at
        local item = rd.tree:add(f.item, rd.tvb(start, 8), "")
        local id = rd:u32(item, f.id)
        local n = rd:u32(item, f.length)
        local data = rd:take(n, item)
        if not data then break end
        item:set_len(8 + n)
        local text
        if code == 16 and not sent then
            text = "#" .. id .. " attributes"
            if n >= 4 then
                local w = data(0, 4):le_uint()
                item:add_le(f.attr_flags, data(0, 4))
                text = text .. string.format(" flags=0x%08X", w)
                if bit.band(w, ATTR_COLOUR_PRESENT) ~= 0 and n >= 8 then
                    item:add_le(f.attr_colour, data(4, 4))
                    text = text .. string.format(" colour=0x%06X", data(4, 4):le_uint())
                end
            end
        elseif code == 21 and not sent then
            text = "#" .. id .. " row"
            if n >= 8 then
                item:add_le(f.rows, data(n - 8, 4))
                item:add_le(f.row, data(n - 4, 4))
                text = text .. " " .. data(n - 4, 4):le_uint() .. ", rows value " ..
                       data(n - 8, 4):le_int()
            end
        else
            local k = kinds[id]
            if k then
                item:add(f.kind, kind_names[k.kind] or "?"):set_generated()
                text = "#" .. id .. " " .. (kind_names[k.kind] or "?") .. " " ..
                       value_item(item, data, n, k.kind, k.flags, sent)
            else
                text = "#" .. id .. " (unknown) " .. n .. (n == 1 and " byte" or " bytes")
            end
        end
        if not text then text = "#" .. id end
        item:append_text(text)
        item:add(f.value, text):set_generated()
        if i <= 16 then parts[#parts + 1] = text end
    end
    local s = count .. (count == 1 and " item" or " items")
    if #parts > 0 then s = s .. " " .. table.concat(parts, "; ") end
    if count > #parts then s = s .. "; ..." end
    return s
end

-- The name attribute ("Z") of one definition, as text.
local function definition_name(def, flags)
    local at = 10
    if def:len() < at + 4 then return nil end
    local v = def(at, 4):le_uint()
    at = at + 4 + v
    if def:len() < at + 4 then return nil end
    local count = def(at, 4):le_uint()
    at = at + 4
    if count > 4096 or def:len() < at + count then return nil end
    local tags = def(at, count):raw()
    at = at + count
    local name
    for i = 1, count do
        if def:len() < at + 4 then return name end
        local n = def(at, 4):le_uint()
        at = at + 4
        if def:len() < at + n then return name end
        if tags:sub(i, i) == "Z" then
            name = n > 0 and text_of(def(at, n), bit.band(flags, CTRL_TEXT16) ~= 0) or ""
        end
        at = at + n
    end
    return name
end

local function definitions(rd, number, visited)
    local count = rd:u32(rd.tree, f.count)
    if not count then return "" end
    local kinds = {}
    local parts = {}
    for i = 1, count do
        local size = rd:u32(rd.tree)
        if not size then break end
        local def = rd:take(size)
        if not def then break end
        local node = rd.tree:add(f.ctrl, def, "")
        if size >= 10 then
            local letter = string.char(def(0, 2):le_uint() % 256)
            local kind = letter_kinds[letter] or 13
            local flags = def(2, 4):le_uint()
            local id = def(6, 4):le_uint()
            kinds[id] = kinds[id] or { kind = kind, flags = flags }
            node:add(f.letter, def(0, 2), letter)
            node:add(f.kind, def(0, 2), kind_names[kind])
            node:add_le(f.ctrl_flags, def(2, 4))
            node:add_le(f.id, def(6, 4))
            local name = definition_name(def, flags)
            if name then node:add(f.ctrl_name, name) end
            node:append_text(letter .. "#" .. id .. " " .. kind_names[kind] ..
                             (name and (" " .. shown(name)) or ""))
            if i <= 32 then parts[#parts + 1] = letter .. "#" .. id end
        end
    end
    if not visited then panels[number] = kinds end
    local s = count .. (count == 1 and " control:" or " controls:")
    if #parts > 0 then s = s .. " " .. table.concat(parts, " ") end
    if count > #parts then s = s .. " ..." end
    return s
end

local function panel_info(rd, flags)
    local n = rd:u32(rd.tree)
    local title = n and rd:take(n)
    if not title then return "" end
    local t = text_of(title, bit.band(flags, HF_TITLE_UTF16) ~= 0)
    rd.tree:add(f.title, title, t)
    local an = rd:u32(rd.tree)
    local about = an and rd:take(an)
    if about then rd.tree:add(f.about, about, text_of(about, true)) end
    local s = "title " .. shown(t)
    if bit.band(flags, HF_NO_PINGS) ~= 0 then s = s .. ", no pings" end
    if bit.band(flags, HF_KEEP_PANEL) ~= 0 then s = s .. ", keep panel" end
    return s
end

local function files(rd, number)
    local id = rd:u32(rd.tree, f.id)
    local count = id and rd:u32(rd.tree, f.count)
    if not count then return "" end
    local k = kinds_for(number)[id]
    local utf16 = k and bit.band(k.flags, CTRL_TEXT16) ~= 0
    local s = "#" .. id .. ", " .. count .. (count == 1 and " file" or " files")
    for i = 1, count do
        local n = rd:u32(rd.tree)
        local name = n and rd:take(n)
        if not name then break end
        local text = text_of(name, utf16)
        rd.tree:add(f.file_name, name, text)
        local size, size_range = rd:u32(rd.tree)
        if not size then break end
        rd.tree:add_le(f.file_size, size_range)
        if i <= 8 then s = s .. " " .. shown(text) .. " (" .. size .. " bytes)" end
        local data = rd:take(math.min(size, rd:left()))
        if data and data:len() > 0 then rd.tree:add(f.file_data, data) end
        if not data or data:len() < size then break end
    end
    return s
end

local function layout_records(rd)
    local count = rd:u32(rd.tree, f.count)
    if not count then return "" end
    local s = count .. (count == 1 and " record" or " records")
    for i = 1, count do
        if rd:left() < 12 then
            rd:take(12)
            break
        end
        local node = rd.tree:add(f.item, rd.tvb(rd.at, 12), "")
        local id = rd:u32(node, f.id)
        local property = rd:u32(node, f.layout_property)
        local _, value = rd:u32(node, f.layout_value)
        local text = "(#" .. id .. " " .. property .. "=" .. value:le_int() .. ")"
        node:append_text(text)
        if i <= 8 then s = s .. " " .. text end
    end
    if count > 8 then s = s .. " ..." end
    return s
end

function talvex.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "Talvex"
    local dir = 0
    local d = packet_direction()
    if d then dir = d.value
    elseif pinfo.p2p_dir == 1 then dir = 1
    elseif pinfo.p2p_dir == 0 then dir = 2 end
    local sent = dir == 2
    local t = tree:add(talvex, tvb(), "Talvex")
    t:add(f.direction, dir):set_generated()
    if tvb:len() < 20 then
        t:add_proto_expert_info(e_short)
        return
    end
    local marker = tvb(0, 8)
    t:add(f.marker, marker)
    if tostring(marker:bytes()):lower() ~= MARKER then t:add_proto_expert_info(e_marker) end
    t:add(f.fixed, tvb(8, 8))
    local code = tvb(16, 2):le_uint()
    local flags = tvb(18, 2):le_uint()
    local name = (sent and client_codes[code]) or (dir == 1 and device_codes[code]) or
                 client_codes[code] or device_codes[code] or "unknown"
    if dir == 0 then name = "unknown" end
    t:add_le(f.code, tvb(16, 2))
    t:add(f.name, name):set_generated()
    local ft = t:add_le(f.flags, tvb(18, 2))
    ft:add_le(f.flag_title16, tvb(18, 2))
    ft:add_le(f.flag_nopings, tvb(18, 2))
    ft:add_le(f.flag_ack, tvb(18, 2))
    ft:add_le(f.flag_keep, tvb(18, 2))

    local rd = reader(tvb, 20, t)
    local s = ""
    if sent then
        if code == 18 then
            local arg = rd:u32(t, f.argument)
            if arg then s = "argument " .. arg end
        elseif code == 7 then
            s = items(rd, code, sent, pinfo.number)
        end
    elseif dir == 1 then
        if code == 2 then s = panel_info(rd, flags)
        elseif code == 6 then s = definitions(rd, pinfo.number, pinfo.visited)
        elseif code == 9 or code == 16 or code == 21 then s = items(rd, code, sent, pinfo.number)
        elseif code == 17 then s = files(rd, pinfo.number)
        elseif code == 19 then s = layout_records(rd)
        end
    end
    local line = name .. " (" .. code .. ")"
    if flags ~= 0 then line = line .. string.format(" flags=0x%04X", flags) end
    if bit.band(flags, HF_ACK_REQUEST) ~= 0 then line = line .. " [ack requested]" end
    if s ~= "" then
        line = line .. ": " .. s
        t:add(f.summary, s):set_generated()
    end
    t:append_text(", " .. (sent and "client: " or "device: ") .. line)
    pinfo.cols.src = sent and "client" or (dir == 1 and "device" or "?")
    pinfo.cols.dst = sent and "device" or (dir == 1 and "client" or "?")
    pinfo.cols.info = line
    return tvb:len()
end

local encaps = wtap_encaps or wtap
DissectorTable.get("wtap_encap"):add(encaps.USER0, talvex)
