-- Wireshark dissector for the LED control card protocol of Vantor, Kelvra and ledcard-sim.
--
--   tshark -X lua_script:kelvra.lua -r capture.pcap -O kelvra
--   or copy to ~/.local/lib/wireshark/plugins/
--
-- Ports: UDP 31296 (discovery), TCP and UDP 31298 (commands, files). The frame (docs/protocol.md):
--   0  3   lead-in 7E 7E 7E          20  4  parameter (u32 LE)
--   3  1   command (answer: +0x40)   24  4  length n (u32 LE)
--   4  16  card id, NUL-padded       28  n  data,  28+n  1  check byte
-- The check byte is the sum of bytes 3 .. 27+n modulo 256 (plain) or 255 minus it (complement). Ids
-- beginning with p, s or x (any case) belong to the plain family; every other id (also "Broadcast!")
-- to the complement family, whose cards also take the plain sum.
-- Wire forms: stream (n + 32: three zero bytes follow), fixed (a zero-filled 2080-byte block), exact
-- (n + 29). On TCP the zero bytes between frames are padding.

local kelvra = Proto("kelvra", "LED control card protocol")

local LEAD_IN = 0x7E7E7E
local HEADER = 28
local FIXED_BLOCK = 2080
local MAX_LENGTH = 65536 -- longer is taken as corrupt, as the card does

local commands = {
    [0x01] = "CMD_FILE_HEADER", [0x02] = "CMD_FILE_DATA", [0x40] = "CMD_SAVE_VALUE",
    [0x43] = "CMD_RESTORE_IP", [0x81] = "CMD_UPGRADE_BEGIN", [0x82] = "CMD_GET_CARD_INFO",
    [0x83] = "CMD_SET_CLOCK", [0x84] = "CMD_SCREEN_CONTROL", [0x8A] = "CMD_SAVE_SETTINGS",
    [0x8B] = "CMD_RESET_CARD", [0x8D] = "CMD_SET_IO", [0x8E] = "CMD_GET_IO", [0x90] = "CMD_DISCOVER",
    [0x91] = "CMD_WINDOW", [0x92] = "CMD_GLINT_WINDOW", [0x93] = "CMD_UPGRADE_START",
    [0x94] = "CMD_UPGRADE_END", [0x95] = "CMD_EXIT_STUNT", [0x97] = "CMD_SELECT_PROGRAM",
    [0x9A] = "CMD_GET_CARD_MORE_INFO",
    [0x41] = "ANS_FILE_HEADER", [0x42] = "ANS_FILE_DATA", [0x80] = "ANS_STATUS_SAVE_VALUE",
    [0xC1] = "ANS_UPGRADE_BEGIN", [0xC2] = "ANS_CARD_INFO", [0xC4] = "ANS_SCREEN_CONTROL",
    [0xCA] = "ANS_SAVE_SETTINGS", [0xCE] = "ANS_GET_IO", [0xD0] = "ANS_DISCOVER", [0xD1] = "ANS_WINDOW",
    [0xD3] = "ANS_UPGRADE_START", [0xDA] = "ANS_CARD_MORE_INFO",
}
local answers = { [0x41] = true, [0x42] = true, [0x80] = true, [0xC1] = true, [0xC2] = true, [0xC4] = true,
    [0xCA] = true, [0xCE] = true, [0xD0] = true, [0xD1] = true, [0xD3] = true, [0xDA] = true }
local status_answers = { [0x41] = true, [0x42] = true, [0x80] = true, [0xC1] = true, [0xC4] = true,
    [0xCA] = true, [0xD1] = true, [0xD3] = true }

local file_types = { [1] = "firmware, Kernel", [2] = "firmware, Application", [3] = "configuration image",
    [4] = "folder transfer or window file", [5] = "picture shown at once", [6] = "flashing window picture",
    [7] = "effect list" }

local sub_commands = {
    [1] = "test pattern or smart setup", [2] = "brightness", [3] = "gamma", [4] = "factory restore",
    [5] = "gray level", [6] = "OE polarity", [7] = "scan clock", [8] = "duty cycle",
    [9] = "wizard step 4 control", [11] = "data polarity", [12] = "line group", [13] = "line interval",
    [15] = "row decoder type", [16] = "lit-point setting", [19] = "horizontal shift", [20] = "scan code",
    [21] = "row-decode order", [23] = "apply the received Config.sys", [24] = "HUB board type",
    [25] = "row-decode order class",
}
local test_operations = { [2] = "grid test", [3] = "gray test", [7] = "smart setup", [8] = "module test",
    [241] = "stop test" }
local smart_steps = { [1] = "data polarity state", [2] = "OE state", [3] = "whole module in one colour",
    [4] = "row pattern", [5] = "traced point", [6] = "line-cross check", [7] = "screen parameters",
    [8] = "test line" }
local window_operations = { [2] = "create window", [3] = "add item", [4] = "delete picture",
    [6] = "lock or unlock", [7] = "destroy", [8] = "leave the insert mode", [16] = "create multi-area window",
    [17] = "insert list into area" }
local polarities = { [0] = "positive", [1] = "negative" }
local duty_cycles = { [0] = "50 %", [1] = "25 %" }
local scan_clocks = { [2] = "15.0M", [3] = "12.5M", [4] = "11.2M", [5] = "9.4M", [6] = "8.0M", [7] = "6.25M",
    [8] = "4.7M", [9] = "3.12M" }
local on_off = { [0] = "off", [1] = "on" }

local F = ProtoField
local f = {
    lead_in = F.bytes("kelvra.lead_in", "Lead-in"),
    command = F.uint8("kelvra.command", "Command", base.HEX, commands),
    kind = F.string("kelvra.kind", "Kind"),
    card_id = F.stringz("kelvra.card_id", "Card id"),
    parameter = F.uint32("kelvra.parameter", "Parameter", base.DEC),
    length = F.uint32("kelvra.length", "Data length", base.DEC),
    data = F.bytes("kelvra.data", "Data"),
    check = F.uint8("kelvra.check", "Check byte", base.HEX),
    check_form = F.string("kelvra.check.form", "Check byte form"),
    family = F.string("kelvra.check.family", "Id family"),
    form = F.string("kelvra.form", "Wire form"),
    padding = F.bytes("kelvra.padding", "Padding"),
    junk = F.bytes("kelvra.junk", "Bytes before a lead-in"),
    truncated = F.bytes("kelvra.truncated", "Truncated frame"),
    text = F.stringz("kelvra.text", "Text"),
    -- file header
    file_type = F.uint32("kelvra.file.type", "File type", base.DEC, file_types),
    file_length = F.uint32("kelvra.file.length", "File length", base.DEC),
    file_blocks = F.uint32("kelvra.file.blocks", "Reserved / 2048-byte blocks", base.DEC),
    file_folder = F.stringz("kelvra.file.folder", "Card folder"),
    file_name = F.stringz("kelvra.file.name", "File name"),
    file_data = F.bytes("kelvra.file.data", "File data"),
    -- small payloads
    upgrade_kib = F.uint32("kelvra.upgrade.kib", "Firmware size (KiB)", base.DEC),
    upgrade_bytes = F.uint32("kelvra.upgrade.bytes", "Firmware size (bytes)", base.DEC),
    clock = F.int32("kelvra.clock", "Clock value", base.DEC),
    io_line = F.uint32("kelvra.io.line", "Line", base.DEC),
    io_state = F.uint32("kelvra.io.state", "State", base.DEC, on_off),
    io_outputs = F.uint32("kelvra.io.outputs", "Output lines", base.HEX),
    io_inputs = F.uint32("kelvra.io.inputs", "Input lines", base.HEX),
    programme = F.uint32("kelvra.programme", "Programme", base.DEC),
    save_value = F.uint32("kelvra.save_value", "Value", base.DEC),
    address_text = F.stringz("kelvra.address", "Address"),
    request_text = F.stringz("kelvra.request_text", "Request text"),
    -- screen control
    sc_sub = F.uint32("kelvra.sc.sub", "Sub-command", base.DEC, sub_commands),
    sc_op = F.uint32("kelvra.sc.operation", "Operation", base.DEC, test_operations),
    sc_step = F.uint32("kelvra.sc.step", "Smart-setup step", base.DEC, smart_steps),
    sc_value = F.uint32("kelvra.sc.value", "Value", base.DEC),
    sc_brightness = F.uint32("kelvra.sc.brightness", "Brightness", base.DEC),
    sc_polarity = F.uint32("kelvra.sc.polarity", "Polarity", base.DEC, polarities),
    sc_duty = F.uint32("kelvra.sc.duty_cycle", "Duty cycle", base.DEC, duty_cycles),
    sc_scan_clock = F.uint32("kelvra.sc.scan_clock", "Scan clock code", base.DEC, scan_clocks),
    sc_gamma = F.float("kelvra.sc.gamma", "Gamma"),
    sc_gray_value = F.uint32("kelvra.sc.gray_value", "Gray value", base.DEC),
    sc_refresh = F.uint32("kelvra.sc.refresh_code", "Refresh code", base.DEC),
    sc_depth = F.uint32("kelvra.sc.depth_code", "Depth code", base.DEC),
    sc_speed = F.uint32("kelvra.sc.speed", "Speed", base.DEC),
    sc_spacing = F.uint32("kelvra.sc.spacing", "Line spacing", base.DEC),
    sc_flag = F.uint32("kelvra.sc.flag", "Flag", base.DEC, on_off),
    sc_colour = F.uint32("kelvra.sc.colour", "Colour (0x00BBGGRR)", base.HEX),
    sc_decode_order = F.string("kelvra.sc.decode_order", "Row-decode order"),
    sc_params = F.bytes("kelvra.sc.screen_params", "Screen parameters (ScreenParams bytes 8..59)"),
    sc_word = F.uint32("kelvra.sc.word", "Word", base.DEC),
    -- windows
    win_op = F.uint32("kelvra.window.operation", "Window operation", base.DEC, window_operations),
    win_start = F.string("kelvra.window.effect_list_start", "Effect list start"),
    win_constant = F.uint32("kelvra.window.constant", "Constant", base.DEC),
    win_number = F.uint32("kelvra.window.number", "Window", base.DEC),
    win_word = F.uint32("kelvra.window.word", "Word", base.HEX),
    win_rect = F.uint32("kelvra.window.rect", "Rectangle word", base.DEC),
    win_flag = F.uint32("kelvra.window.flag", "Flag", base.DEC),
    win_marker = F.uint32("kelvra.window.marker", "Marker", base.HEX),
    win_name = F.stringz("kelvra.window.file_name", "Card file name"),
    win_other = F.uint32("kelvra.window.other", "Word", base.DEC),
    item_tag = F.stringz("kelvra.item.tag", "Item type"),
    item_number = F.uint32("kelvra.item.number", "Number", base.DEC),
    item_name = F.stringz("kelvra.item.name", "Name"),
    item_card_name = F.stringz("kelvra.item.card_name", "Card file name"),
    item_end = F.stringz("kelvra.item.end", "End marker"),
    glint_kind = F.uint32("kelvra.glint.kind", "Kind", base.DEC),
    glint_name = F.stringz("kelvra.glint.file_name", "Card file name"),
    glint_count = F.uint32("kelvra.glint.regions", "Regions", base.DEC),
    glint_flash = F.uint32("kelvra.glint.flash", "Flash word", base.HEX),
    glint_region = F.bytes("kelvra.glint.region", "Region"),
    glint_word = F.uint32("kelvra.glint.region_word", "Region word", base.DEC),
    -- information blocks
    info_id = F.stringz("kelvra.info.card_id", "Card id"),
    info_ip = F.stringz("kelvra.info.ip", "IP address"),
    info_mask = F.stringz("kelvra.info.mask", "Subnet mask"),
    info_gateway = F.stringz("kelvra.info.gateway", "Gateway"),
    info_width = F.uint32("kelvra.info.width", "Screen width", base.DEC),
    info_height = F.uint32("kelvra.info.height", "Screen height", base.DEC),
    info_brightness = F.uint32("kelvra.info.brightness", "Brightness", base.DEC),
    info_scan_clock = F.uint32("kelvra.info.scan_clock", "Scan clock code", base.DEC, scan_clocks),
    info_duty = F.uint32("kelvra.info.duty_cycle", "Duty cycle", base.DEC, duty_cycles),
    info_oe = F.uint32("kelvra.info.oe_polarity", "OE polarity", base.DEC, polarities),
    info_data_polarity = F.uint32("kelvra.info.data_polarity", "Data polarity", base.DEC, polarities),
    info_refresh = F.uint32("kelvra.info.gray_refresh", "Gray refresh code", base.DEC),
    info_depth = F.uint32("kelvra.info.gray_depth", "Gray depth code", base.DEC),
    info_gray = F.uint32("kelvra.info.gray_value", "Gray value", base.DEC),
    info_gamma = F.float("kelvra.info.gamma", "Gamma"),
    info_shift = F.uint32("kelvra.info.horizontal_shift", "Horizontal shift", base.DEC),
    info_params = F.bytes("kelvra.info.screen_params", "Screen parameters"),
    info_clock = F.int32("kelvra.info.clock", "Clock value", base.DEC),
    info_programme = F.uint32("kelvra.info.programme", "Programme", base.DEC),
    info_outputs = F.uint32("kelvra.info.outputs", "Output lines", base.HEX),
    info_inputs = F.uint32("kelvra.info.inputs", "Input lines", base.HEX),
    info_software = F.uint32("kelvra.info.software", "Software version", base.HEX),
    info_hardware = F.uint32("kelvra.info.hardware", "Hardware version", base.HEX),
    info_version = F.string("kelvra.info.version_text", "Version"),
    info_rest = F.bytes("kelvra.info.other", "Other bytes"),
    more_model = F.stringz("kelvra.info.model", "Model"),
    more_mac = F.stringz("kelvra.info.mac", "MAC address"),
    more_uptime = F.uint32("kelvra.info.uptime", "Seconds since start", base.DEC),
    more_files = F.uint32("kelvra.info.files", "Files stored", base.DEC),
    more_free = F.uint32("kelvra.info.free_kib", "Free space (KiB)", base.DEC),
}
local field_list = {}
for _, field in pairs(f) do field_list[#field_list + 1] = field end
kelvra.fields = field_list

local e = {
    bad_check = ProtoExpert.new("kelvra.check.bad", "Check byte matches neither form", expert.group.CHECKSUM,
        expert.severity.ERROR),
    family = ProtoExpert.new("kelvra.check.family_mismatch",
        "Complement check byte with an id of the plain-sum family: the card drops it", expert.group.CHECKSUM,
        expert.severity.WARN),
    too_long = ProtoExpert.new("kelvra.length.corrupt", "Data length above 65536: taken as corrupt",
        expert.group.MALFORMED, expert.severity.ERROR),
    short = ProtoExpert.new("kelvra.short", "Datagram shorter than its frame (truncated)", expert.group.MALFORMED,
        expert.severity.ERROR),
    not_frame = ProtoExpert.new("kelvra.not_frame", "Datagram that is not a card frame (no lead-in)",
        expert.group.MALFORMED, expert.severity.ERROR),
    junk = ProtoExpert.new("kelvra.junk", "Bytes that are neither a frame nor padding", expert.group.PROTOCOL,
        expert.severity.WARN),
    size = ProtoExpert.new("kelvra.data.size", "Data of an unexpected size for this command", expert.group.PROTOCOL,
        expert.severity.NOTE),
}
kelvra.experts = { e.bad_check, e.family, e.too_long, e.short, e.not_frame, e.junk, e.size }

local tcp_port = Field.new("tcp.srcport")

-- Helpers -------------------------------------------------------------------------------------------

local function u32(tvb, offset) return tvb(offset, 4):le_uint() end

local function plain_family(id)
    local first = id:sub(1, 1):lower()
    return first == "p" or first == "s" or first == "x"
end

local function version_text(word)
    return string.format("V%X.%X", bit.rshift(word, 16), bit.band(word, 0xFFFF))
end

-- Adds the 32-bit words from `first` on that no named field covers, when they are not 0.
local function other_words(tree, tvb, first, skip, field)
    for offset = first, tvb:len() - 4, 4 do
        if not (skip and skip[offset]) and u32(tvb, offset) ~= 0 then
            tree:add_le(field or f.sc_word, tvb(offset, 4)):prepend_text(string.format("[%d] ", offset / 4))
        end
    end
end

-- Adders of a text field (t) and a 32-bit word (w) under `tree` that skip what lies beyond the block.
local function adders(tree, tvb)
    local n = tvb:len()
    local function t(field, offset, size)
        if offset + size <= n then return tree:add(field, tvb(offset, size)) end
    end
    local function w(field, offset)
        if offset + 4 <= n then return tree:add_le(field, tvb(offset, 4)) end
    end
    return t, w
end

-- Payloads --------------------------------------------------------------------------------------------

local function dissect_file_header(tvb, tree)
    if tvb:len() < 212 then return tree:add_proto_expert_info(e.size) end
    tree:add_le(f.file_type, tvb(0, 4))
    tree:add_le(f.file_length, tvb(4, 4))
    tree:add_le(f.file_blocks, tvb(8, 4))
    tree:add(f.file_folder, tvb(12, 100))
    tree:add(f.file_name, tvb(112, 100))
end

local function dissect_screen_control(tvb, tree)
    if tvb:len() < 12 or tvb:len() % 4 ~= 0 then return tree:add_proto_expert_info(e.size) end
    local sub = u32(tvb, 0)
    tree:add_le(f.sc_sub, tvb(0, 4))
    local n = tvb:len()
    local covered = {}
    local absent = { prepend_text = function() end } -- a word beyond a short block
    local function add(field, offset)
        if offset + 4 > n then return absent end
        covered[offset] = true
        return tree:add_le(field, tvb(offset, 4))
    end
    if sub == 1 then
        local op = u32(tvb, 4)
        add(f.sc_op, 4)
        if op == 7 then
            local step = u32(tvb, 8)
            add(f.sc_step, 8)
            if step == 7 then
                if n >= 64 then tree:add(f.sc_params, tvb(12, 52)) end
                for o = 12, 60, 4 do covered[o] = true end
            elseif step == 3 then
                add(f.sc_colour, 12)
            elseif step == 5 then
                add(f.sc_value, 12):prepend_text("Column from the right: ")
                add(f.sc_value, 16):prepend_text("Row: ")
                add(f.sc_flag, 20)
            elseif step == 8 then
                add(f.sc_value, 12):prepend_text("Module width: ")
                add(f.sc_value, 16):prepend_text("Module height: ")
            else
                add(f.sc_value, 12)
            end
        elseif op == 2 then
            add(f.sc_speed, 8)
            add(f.sc_spacing, 12)
            add(f.sc_flag, 16):prepend_text("Horizontal lines: ")
            add(f.sc_flag, 20):prepend_text("Vertical lines: ")
            add(f.sc_flag, 24):prepend_text("Diagonal lines: ")
            add(f.sc_colour, 36)
        elseif op == 3 then
            add(f.sc_speed, 8)
            add(f.sc_flag, 20):prepend_text("Red: ")
            add(f.sc_flag, 24):prepend_text("Green: ")
            add(f.sc_flag, 28):prepend_text("Blue: ")
            add(f.sc_flag, 32):prepend_text("White: ")
        elseif op == 8 then
            for i = 0, 2 do add(f.sc_value, 8 + 4 * i):prepend_text(string.format("Test value %d: ", i + 1)) end
            add(f.sc_colour, 20)
            add(f.sc_value, 24):prepend_text("Value 1: ")
            add(f.sc_value, 28):prepend_text("Value 2: ")
        end
    elseif sub == 2 then
        if n == 12 then add(f.sc_brightness, 4) end -- Kelvra: 2, value, value
        add(f.sc_brightness, 8)
    elseif sub == 3 then
        for i = 0, 2 do
            if 8 + 4 * i + 4 <= n then
                covered[8 + 4 * i] = true
                tree:add_le(f.sc_gamma, tvb(8 + 4 * i, 4)):prepend_text(({ "Red ", "Green ", "Blue " })[i + 1])
            end
        end
    elseif sub == 5 then
        add(f.sc_gray_value, 8)
        add(f.sc_refresh, 12)
        add(f.sc_depth, 16)
    elseif sub == 6 or sub == 11 then
        add(f.sc_polarity, 8)
    elseif sub == 7 then
        add(f.sc_scan_clock, 8)
    elseif sub == 8 then
        add(f.sc_duty, 8)
    elseif sub == 21 then
        add(f.sc_value, 8):prepend_text("Last 8 characters: ")
        add(f.sc_value, 12):prepend_text("First 6 characters: ")
        if n >= 16 then
            local text = string.format("%06x%08x", u32(tvb, 12), u32(tvb, 8))
            tree:add(f.sc_decode_order, tvb(8, 8), text)
        end
    elseif sub ~= 4 and sub ~= 23 then
        add(f.sc_value, 8)
    end
    other_words(tree, tvb, 4, covered)
end

-- The play item of window operation 3 (288 bytes).
local item_numbers = { "Loop count", "Entry effect", "Clear effect", "Entry speed", "Clear speed", "Stay seconds",
    "Display mode" }
local function dissect_item(tvb, tree, base_offset)
    tree:add(f.item_tag, tvb(base_offset, 8))
    for i = 0, 6 do
        tree:add_le(f.item_number, tvb(base_offset + 8 + 4 * i, 4)):prepend_text(item_numbers[i + 1] .. " ")
    end
    tree:add(f.item_name, tvb(base_offset + 80, 100))
    tree:add(f.item_card_name, tvb(base_offset + 180, 100))
    tree:add(f.item_end, tvb(base_offset + 280, 8))
end

-- CMD_WINDOW: word 0 the operation; the effect list's start block is told apart by its size.
local function dissect_window(tvb, tree)
    local n = tvb:len()
    if n == 604 then
        tree:add(f.win_start, tvb(), "yes")
        tree:add_le(f.win_word, tvb(400, 4))
        tree:add(f.win_name, tvb(504, 100))
        other_words(tree, tvb, 0, { [400] = true, [504] = true, [508] = true, [512] = true }, f.win_other)
        return
    end
    if n < 8 then return tree:add_proto_expert_info(e.size) end
    local op = u32(tvb, 0)
    tree:add_le(f.win_op, tvb(0, 4))
    local covered = { [0] = true }
    local function add(field, offset, label)
        if offset + 4 > n then return end
        covered[offset] = true
        local item = tree:add_le(field, tvb(offset, 4))
        if label then item:prepend_text(label .. " ") end
    end
    if op == 16 then
        add(f.win_word, 4, "Area set")
        for i = 0, 3 do add(f.win_rect, 8 + 4 * i) end
        add(f.win_flag, 164)
        add(f.win_word, 168, "Area")
        add(f.win_flag, 384)
        add(f.win_flag, 388)
    elseif op == 17 then
        add(f.win_word, 4, "List")
    elseif n >= 12 then
        add(f.win_constant, 4)
        add(f.win_number, 8)
        if op == 2 then
            add(f.win_word, 12, "Window")
            for i = 0, 3 do add(f.win_rect, 16 + 4 * i) end
            add(f.win_flag, 292)
            add(f.win_flag, 296)
            add(f.win_word, 300, "Style")
            add(f.win_marker, 304)
        elseif op == 3 and n >= 300 then
            dissect_item(tvb, tree, 12)
            return
        elseif op == 4 then
            tree:add(f.win_name, tvb(12, math.min(100, n - 12)))
            return
        elseif op == 6 then
            add(f.win_word, 12, "Lock")
        elseif op == 7 then
            add(f.win_flag, 12)
        end
    end
    other_words(tree, tvb, 4, covered, f.win_other)
end

-- CMD_GLINT_WINDOW: a picture flashing over up to 64 regions of five words.
local function dissect_glint(tvb, tree)
    if tvb:len() < 1532 then return tree:add_proto_expert_info(e.size) end
    tree:add_le(f.glint_kind, tvb(40, 4))
    tree:add(f.glint_name, tvb(144, 100))
    tree:add_le(f.glint_count, tvb(244, 4))
    tree:add_le(f.glint_flash, tvb(248, 4))
    for i = 0, math.min(u32(tvb, 244), 64) - 1 do
        local region = tree:add(f.glint_region, tvb(252 + 20 * i, 20))
        for w = 0, 4 do region:add_le(f.glint_word, tvb(252 + 20 * i + 4 * w, 4)) end
    end
end

local function dissect_info(tvb, tree)
    local n = tvb:len()
    local t, w = adders(tree, tvb)
    t(f.info_id, 0, 20)
    t(f.info_ip, 60, 16)
    t(f.info_mask, 92, 16)
    w(f.info_width, 132)
    w(f.info_height, 136)
    t(f.info_gateway, 164, 16)
    w(f.info_brightness, 544)
    w(f.info_scan_clock, 548)
    w(f.info_duty, 552)
    w(f.info_oe, 556)
    w(f.info_data_polarity, 560)
    w(f.info_refresh, 564)
    w(f.info_depth, 568)
    w(f.info_gray, 572)
    for i = 0, 2 do
        local item = w(f.info_gamma, 576 + 4 * i)
        if item then item:prepend_text(({ "Red ", "Green ", "Blue " })[i + 1]) end
    end
    w(f.info_shift, 588)
    t(f.info_params, 592, 52)
    for i = 0, 6 do w(f.info_clock, 644 + 4 * i) end
    w(f.info_programme, 672)
    w(f.info_outputs, 676)
    w(f.info_inputs, 680)
    local sw = w(f.info_software, 1032)
    if sw then sw:add(f.info_version, tvb(1032, 4), version_text(u32(tvb, 1032))) end
    local hw = w(f.info_hardware, 1036)
    if hw then hw:add(f.info_version, tvb(1036, 4), version_text(u32(tvb, 1036))) end
    if n > 1040 then t(f.info_rest, 1040, n - 1040) end
end

local function dissect_more_info(tvb, tree)
    local n = tvb:len()
    local t, w = adders(tree, tvb)
    t(f.info_id, 0, 20)
    t(f.more_model, 20, 20)
    t(f.info_ip, 40, 16)
    t(f.more_mac, 56, 20)
    local sw = w(f.info_software, 76)
    if sw then sw:add(f.info_version, tvb(76, 4), version_text(u32(tvb, 76))) end
    local hw = w(f.info_hardware, 80)
    if hw then hw:add(f.info_version, tvb(80, 4), version_text(u32(tvb, 80))) end
    w(f.more_uptime, 84)
    w(f.more_files, 88)
    w(f.more_free, 92)
end

local function words(tree, tvb, field, count)
    for i = 0, count - 1 do
        if 4 * i + 4 <= tvb:len() then tree:add_le(field, tvb(4 * i, 4)) end
    end
end

local function dissect_data(command, tvb, tree)
    local n = tvb:len()
    if n == 0 then return end
    if command == 0x01 then
        dissect_file_header(tvb, tree)
    elseif command == 0x02 then
        tree:add(f.file_data, tvb())
    elseif command == 0x84 then
        dissect_screen_control(tvb, tree)
    elseif command == 0x91 then
        dissect_window(tvb, tree)
    elseif command == 0x92 then
        dissect_glint(tvb, tree)
    elseif command == 0xC2 then
        dissect_info(tvb, tree)
    elseif command == 0xDA then
        dissect_more_info(tvb, tree)
    elseif status_answers[command] then
        tree:add(f.text, tvb())
    elseif command == 0xD0 or command == 0x43 then
        tree:add(f.address_text, tvb(0, math.min(n, 16)))
        if n > 16 then tree:add(f.padding, tvb(16)) end
    elseif command == 0x82 or command == 0x90 or command == 0x9A then
        -- Kelvra: 4 zero bytes (or none); Vantor: the text "255.0.0.0" in 32 bytes
        if tvb(0, 1):uint() ~= 0 then tree:add(f.request_text, tvb()) else tree:add(f.padding, tvb()) end
    elseif command == 0x81 then
        words(tree, tvb, f.upgrade_kib, 1)
    elseif command == 0x93 then
        words(tree, tvb, f.upgrade_bytes, 1)
    elseif command == 0x83 then
        words(tree, tvb, f.clock, 7)
    elseif command == 0x8D then
        words(tree, tvb, f.io_line, 1)
        if n >= 8 then tree:add_le(f.io_state, tvb(4, 4)) end
    elseif command == 0x8E then
        words(tree, tvb, f.io_line, 1)
    elseif command == 0xCE then
        if n >= 16 then
            tree:add_le(f.io_line, tvb(0, 4))
            tree:add_le(f.io_state, tvb(4, 4))
            tree:add_le(f.io_outputs, tvb(8, 4))
            tree:add_le(f.io_inputs, tvb(12, 4))
        else
            tree:add(f.data, tvb()):add_proto_expert_info(e.size)
        end
    elseif command == 0x97 then
        words(tree, tvb, f.programme, 1)
    elseif command == 0x40 then
        words(tree, tvb, f.save_value, 1)
    elseif command == 0x8A then
        -- the settings block: the information block's bytes 20..543
        local settings = tree:add(f.data, tvb())
        local t, w = adders(settings, tvb)
        t(f.info_ip, 40, 16)
        t(f.info_mask, 72, 16)
        w(f.info_width, 112)
        w(f.info_height, 116)
        t(f.info_gateway, 144, 16)
    else
        tree:add(f.data, tvb())
    end
end

-- Frames --------------------------------------------------------------------------------------------

-- The wire form of a frame of `size` bytes followed by `padding` zero bytes of its own.
local function form_name(size, padding)
    if padding == 3 then return "stream (n + 32)" end
    if size + padding == FIXED_BLOCK then return "fixed (2080-byte block)" end
    if padding == 0 then return "exact (n + 29)" end
    return string.format("padded with %d zero bytes", padding)
end

-- Dissects the frame at `offset` (its lead-in checked); `padding` is the number of zero bytes after it
-- that belong to it. Returns the summary for the Info column.
local function dissect_frame(tvb, pinfo, root, offset, n, padding)
    local size = HEADER + n + 1
    local total = size + padding
    local tree = root:add(kelvra, tvb(offset, total))
    local command = tvb(offset + 3, 1):uint()
    local id = tvb(offset + 4, 16):stringz()
    tree:add(f.lead_in, tvb(offset, 3))
    tree:add(f.command, tvb(offset + 3, 1))
    tree:add(f.kind, tvb(offset + 3, 1), answers[command] and "answer" or "command")
    tree:add(f.card_id, tvb(offset + 4, 16))
    tree:add_le(f.parameter, tvb(offset + 20, 4))
    tree:add_le(f.length, tvb(offset + 24, 4))
    if n > 0 then
        local data_tree = tree:add(f.data, tvb(offset + HEADER, n))
        dissect_data(command, tvb(offset + HEADER, n):tvb(), data_tree)
    end
    -- Check byte over command .. last data byte.
    local sum = 0
    local bytes = tvb(offset + 3, n + 25):bytes()
    for i = 0, bytes:len() - 1 do sum = sum + bytes:get_index(i) end
    sum = sum % 256
    local check = tvb(offset + HEADER + n, 1):uint()
    local check_item = tree:add(f.check, tvb(offset + HEADER + n, 1))
    local plain = plain_family(id)
    local family = plain and "plain sum (id begins with p, s or x)" or "complement"
    check_item:add(f.family, tvb(offset + 4, 16), family)
    if check == sum then
        check_item:add(f.check_form, tvb(offset + HEADER + n, 1), "plain sum (correct)")
    elseif check == 255 - sum then
        check_item:add(f.check_form, tvb(offset + HEADER + n, 1), "complement (correct)")
        if plain then check_item:add_proto_expert_info(e.family) end
    else
        check_item:add(f.check_form, tvb(offset + HEADER + n, 1),
            string.format("wrong: plain sum would be 0x%02x, complement 0x%02x", sum, 255 - sum))
        check_item:add_proto_expert_info(e.bad_check)
    end
    if padding > 0 then tree:add(f.padding, tvb(offset + size, padding)) end
    local form_item = tree:add(f.form, tvb(offset, total), form_name(size, padding))
    local name = commands[command] or string.format("0x%02X", command)
    tree:append_text(string.format(", %s, %s, %d data bytes", name, id, n))
    return string.format("%s %s", name, id), tree, form_item
end

local function all_zero(tvb, offset, count)
    for i = offset, offset + count - 1 do
        if tvb(i, 1):uint() ~= 0 then return false end
    end
    return true
end

local function dissect_datagram(tvb, pinfo, root)
    local len = tvb:len()
    if len < 3 or tvb(0, 3):uint() ~= LEAD_IN then
        local tree = root:add(kelvra, tvb())
        tree:add(f.junk, tvb()):add_proto_expert_info(e.not_frame)
        pinfo.cols.info = "Not a card frame"
        return len
    end
    if len < HEADER + 1 then
        local tree = root:add(kelvra, tvb())
        tree:add(f.lead_in, tvb(0, 3))
        tree:add(f.truncated, tvb()):add_proto_expert_info(e.short)
        pinfo.cols.info = string.format("Damaged frame: %d bytes, shorter than a frame header", len)
        return len
    end
    local n = u32(tvb, 24)
    if n > MAX_LENGTH then
        local tree = root:add(kelvra, tvb())
        tree:add_le(f.length, tvb(24, 4)):add_proto_expert_info(e.too_long)
        pinfo.cols.info = "Damaged frame: data length above 65536"
        return len
    end
    if HEADER + n + 1 > len then
        local tree = root:add(kelvra, tvb())
        tree:add_le(f.length, tvb(24, 4)):add_proto_expert_info(e.short)
        pinfo.cols.info = string.format("Damaged frame: %d bytes, its length field says %d data bytes", len, n)
        return len
    end
    local padding = len - (HEADER + n + 1)
    local info = dissect_frame(tvb, pinfo, root, 0, n, padding)
    if padding > 0 and not all_zero(tvb, HEADER + n + 1, padding) then
        root:add(f.junk, tvb(HEADER + n + 1, padding)):add_proto_expert_info(e.junk)
    end
    pinfo.cols.info = info
    return len
end

-- The zero bytes that follow a whole frame of `size` bytes at `after` belong to its wire form: three
-- (stream), up to the 2080-byte block (fixed) or none (exact). Returns how many belong to the frame, or
-- nil and how many more bytes are needed when the zeros run to the end of what has arrived and the
-- form cannot be told yet (the rest of a fixed block, or of the three stream bytes, is still to come).
local function frame_padding(tvb, after, size)
    local len = tvb:len()
    local zeros = 0
    while after + zeros < len and tvb(after + zeros, 1):uint() == 0 do zeros = zeros + 1 end
    local open = after + zeros == len
    local fixed_rest = FIXED_BLOCK - size
    if zeros > 3 and fixed_rest > 3 and zeros >= fixed_rest then return fixed_rest end
    if open and zeros > 0 and zeros ~= 3 then
        if zeros < 3 then return nil, 3 - zeros end
        if fixed_rest > zeros then return nil, fixed_rest - zeros end
    end
    if zeros >= 3 then return 3 end
    return zeros -- none (exact), or one or two zero bytes before the next frame
end

-- TCP: frames cut at their length field, each with the zero bytes of its wire form; a frame or form
-- that continues in later segments is reassembled first (desegment_offset / desegment_len), so the
-- form is told from the whole frame, not from where a segment happens to end. Other zero bytes
-- between frames are padding, other bytes before a lead-in junk.
-- A reassembled frame ends where the reassembly was asked to end, so its form's zero bytes, when the
-- same segment carries them, come to the next call for the same packet: the frame is remembered here
-- and its form completed then.
local open_frame = nil -- { number = packet, size = frame bytes, tree = frame tree, form = form item }

local function complete_open_frame(tvb, pinfo)
    local frame = open_frame
    open_frame = nil
    if not frame or frame.number ~= pinfo.number then return 0 end
    local len = tvb:len()
    local zeros = 0
    while zeros < len and tvb(zeros, 1):uint() == 0 do zeros = zeros + 1 end
    if zeros ~= 3 and frame.size + zeros ~= FIXED_BLOCK then return 0 end
    frame.tree:add(f.padding, tvb(0, zeros))
    frame.form:set_text("Wire form: " .. form_name(frame.size, zeros))
    return zeros
end

local function dissect_stream(tvb, pinfo, root)
    local len = tvb:len()
    local offset = complete_open_frame(tvb, pinfo)
    local infos = {}
    local function need_more(from, count)
        pinfo.desegment_offset = from
        pinfo.desegment_len = count
        if #infos > 0 then pinfo.cols.info = table.concat(infos, "; ") end
        return len
    end
    while offset < len do
        local zeros = 0
        while offset + zeros < len and tvb(offset + zeros, 1):uint() == 0 do zeros = zeros + 1 end
        if zeros > 0 then
            root:add(kelvra, tvb(offset, zeros)):add(f.padding, tvb(offset, zeros))
            offset = offset + zeros
        end
        if offset >= len then break end
        if len - offset < 3 then return need_more(offset, DESEGMENT_ONE_MORE_SEGMENT) end
        if tvb(offset, 3):uint() ~= LEAD_IN then
            local junk = 1
            while offset + junk < len and tvb(offset + junk, 1):uint() ~= 0x7E do junk = junk + 1 end
            root:add(kelvra, tvb(offset, junk)):add(f.junk, tvb(offset, junk)):add_proto_expert_info(e.junk)
            offset = offset + junk
        else
            if len - offset < HEADER then return need_more(offset, HEADER - (len - offset)) end
            local n = u32(tvb, offset + 24)
            local size = HEADER + n + 1
            if n > MAX_LENGTH then
                root:add(kelvra, tvb(offset, HEADER)):add_le(f.length, tvb(offset + 24, 4))
                    :add_proto_expert_info(e.too_long)
                offset = offset + 3 -- the card skips the lead-in and searches on
            elseif len - offset < size then
                return need_more(offset, size - (len - offset))
            else
                local padding, missing = frame_padding(tvb, offset + size, size)
                if not padding then return need_more(offset, missing) end
                local info, tree, form = dissect_frame(tvb, pinfo, root, offset, n, padding)
                infos[#infos + 1] = info
                offset = offset + size + padding
                if offset == len and padding == 0 then
                    open_frame = { number = pinfo.number, size = size, tree = tree, form = form }
                end
            end
        end
    end
    if #infos > 0 then pinfo.cols.info = table.concat(infos, "; ") end
    return len
end

function kelvra.dissector(tvb, pinfo, root)
    pinfo.cols.protocol = "Kelvra"
    if tcp_port() then return dissect_stream(tvb, pinfo, root) end
    return dissect_datagram(tvb, pinfo, root)
end

local udp = DissectorTable.get("udp.port")
udp:add(31296, kelvra)
udp:add(31298, kelvra)
DissectorTable.get("tcp.port"):add(31298, kelvra)
