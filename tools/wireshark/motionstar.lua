-- Wireshark dissector for the MotionStar tracking system's Ethernet protocol
-- (TCP port 6000, UDP port 5000): packet headers, commands and replies,
-- system and unit status blocks, and data packets with each unit's position
-- and angles and the wand bytes of the aux record.
--
--   wireshark -X lua_script:tools/wireshark/motionstar.lua session.pcap
--   tshark -r session.pcap -X lua_script:tools/wireshark/motionstar.lua -V
--
-- or copy it into Wireshark's personal plugins folder.

local ms = Proto("motionstar", "MotionStar")

local TCP_PORT = 6000
local UDP_PORT = 5000
local HEADER = 16
local RECORD = 14

local packet_names = {
  [10] = "WAKE_UP", [11] = "SHUT_DOWN", [101] = "GET_STATUS", [102] = "SEND_SETUP",
  [104] = "RUN_CONTINUOUS", [105] = "STOP_DATA",
  [20] = "WAKE_UP reply", [21] = "SHUT_DOWN reply", [201] = "GET_STATUS reply",
  [202] = "SEND_SETUP reply", [204] = "RUN_CONTINUOUS reply", [205] = "STOP_DATA reply",
  [210] = "DATA",
}
local commands = { [10] = true, [11] = true, [101] = true, [102] = true, [104] = true, [105] = true }
local replies = { [20] = true, [21] = true, [201] = true, [202] = true, [204] = true, [205] = true }
local hemispheres = { [0] = "+X", [1] = "-X", [2] = "-Z", [3] = "+Z", [4] = "-Y", [5] = "+Y" }
-- The position scale a unit's scaling word selects; other words leave 12 feet.
local scales = { [36] = 3.0, [72] = 6.0, [144] = 12.0, [288] = 24.0 }
local DEFAULT_SCALE = 12.0
-- The single-precision factor a word is multiplied by (nearest to 1/32767).
local WORD_FACTOR = 3.0518509e-05

local f = ms.fields
-- Header
f.preamble = ProtoField.bytes("motionstar.preamble", "Bytes 0-7 (not interpreted)")
f.type = ProtoField.uint8("motionstar.type", "Packet type", base.DEC, packet_names)
f.name = ProtoField.string("motionstar.name", "Packet")
f.kind = ProtoField.string("motionstar.kind", "Kind")
f.unit = ProtoField.uint8("motionstar.unit", "Unit address", base.DEC)
f.version = ProtoField.uint8("motionstar.version", "Protocol version", base.DEC)
f.error = ProtoField.uint8("motionstar.error", "Error code", base.DEC, { [0] = "OK" })
f.reserved = ProtoField.bytes("motionstar.reserved", "Bytes 12-13 (not interpreted)")
f.count = ProtoField.uint16("motionstar.count", "Data bytes", base.DEC)
-- System status block
f.sys_flags = ProtoField.uint8("motionstar.system.flags", "System flags", base.HEX)
f.sys_running = ProtoField.bool("motionstar.system.running", "Running", 8, nil, 0x80)
f.sys_error = ProtoField.bool("motionstar.system.error", "System error", 8, nil, 0x40)
f.sys_fbb_error = ProtoField.bool("motionstar.system.fbb_error", "FBB error", 8, nil, 0x20)
f.sys_local_error = ProtoField.bool("motionstar.system.local_error", "Local error", 8, nil, 0x10)
f.sys_power_error = ProtoField.bool("motionstar.system.power_error", "Power status error", 8, nil,
  0x08)
f.sys_master = ProtoField.bool("motionstar.system.master", "Master", 8, nil, 0x04)
f.sys_sync_type = ProtoField.bool("motionstar.system.crt_sync_type", "CRT sync type", 8, nil, 0x02)
f.sys_sync = ProtoField.bool("motionstar.system.crt_sync", "CRT sync enabled and active", 8, nil,
  0x01)
f.sys_transmitter = ProtoField.uint8("motionstar.system.transmitter", "Transmitter", base.HEX)
f.sys_erc = ProtoField.uint8("motionstar.system.erc_address", "ERC address", base.DEC, nil, 0xF0)
f.sys_tx_number = ProtoField.uint8("motionstar.system.transmitter_number", "Transmitter number",
  base.DEC, nil, 0x03)
f.sys_rate_text = ProtoField.string("motionstar.system.measurement_rate",
  "Measurement rate (samples/s x 1000)")
f.sys_rate = ProtoField.double("motionstar.system.rate", "Measurement rate (samples/s)")
f.sys_chassis = ProtoField.int8("motionstar.system.chassis", "Chassis ID", base.DEC)
f.dev_status = ProtoField.uint8("motionstar.device.status", "Device status", base.HEX)
f.dev_address = ProtoField.uint8("motionstar.device.address", "FBB address", base.DEC)
f.dev_reported = ProtoField.bool("motionstar.device.reported", "Reported", 8, nil, 0x80)
f.dev_running = ProtoField.bool("motionstar.device.running", "Running", 8, nil, 0x40)
f.dev_receiver = ProtoField.bool("motionstar.device.receiver", "Receiver", 8, nil, 0x20)
f.dev_erc = ProtoField.bool("motionstar.device.erc", "ERC", 8, nil, 0x10)
f.dev_tx3 = ProtoField.bool("motionstar.device.erc3", "ERC transmitter 3", 8, nil, 0x08)
f.dev_tx2 = ProtoField.bool("motionstar.device.erc2", "ERC transmitter 2", 8, nil, 0x04)
f.dev_tx1 = ProtoField.bool("motionstar.device.erc1", "ERC transmitter 1", 8, nil, 0x02)
f.dev_tx0 = ProtoField.bool("motionstar.device.transmitter", "Transmitter (ERC-0 or SRT)", 8, nil,
  0x01)
-- Unit status block
f.report_rate = ProtoField.int8("motionstar.unit.report_rate", "Report-rate divisor", base.DEC)
f.scaling = ProtoField.uint16("motionstar.unit.scaling", "Scaling (full-scale range)", base.DEC)
f.scale = ProtoField.double("motionstar.unit.scale", "Position scale (feet)")
f.hemisphere = ProtoField.uint8("motionstar.unit.hemisphere", "Hemisphere", base.DEC, hemispheres)
f.alpha_min = ProtoField.uint16("motionstar.unit.alpha_min", "Alpha min", base.HEX)
f.alpha_max = ProtoField.uint16("motionstar.unit.alpha_max", "Alpha max", base.HEX)
f.vm = ProtoField.uint16("motionstar.unit.vm", "VM", base.HEX)
f.angle = ProtoField.int16("motionstar.unit.angle", "Reference angle word", base.DEC)
-- Data packet
f.records = ProtoField.uint8("motionstar.records", "Unit records", base.DEC)
f.rec_address = ProtoField.uint8("motionstar.record.address", "Unit address", base.DEC, nil, 0x7F)
f.rec_scale = ProtoField.double("motionstar.record.scale", "Position scale (feet)")
f.rec_x = ProtoField.double("motionstar.record.x", "X (feet)")
f.rec_y = ProtoField.double("motionstar.record.y", "Y (feet)")
f.rec_z = ProtoField.double("motionstar.record.z", "Z (feet)")
f.rec_azimuth = ProtoField.double("motionstar.record.azimuth", "Azimuth (degrees)")
f.rec_elevation = ProtoField.double("motionstar.record.elevation", "Elevation (degrees)")
f.rec_roll = ProtoField.double("motionstar.record.roll", "Roll (degrees)")
f.aux_words = ProtoField.uint8("motionstar.aux.words", "16-bit words", base.DEC, nil, 0x0F)
f.aux_count = ProtoField.uint8("motionstar.aux.wand_count", "Wand bytes", base.DEC)
f.aux_byte = ProtoField.uint8("motionstar.aux.wand_byte", "Wand byte", base.HEX)
f.wand_start = ProtoField.bool("motionstar.aux.wand_start", "Starts a wand packet", 8, nil, 0x40)
f.wand_motion_x = ProtoField.int8("motionstar.wand.motion_x", "Motion X", base.DEC)
f.wand_motion_y = ProtoField.int8("motionstar.wand.motion_y", "Motion Y", base.DEC)
f.wand_valuator1 = ProtoField.double("motionstar.wand.valuator1", "Valuator 1")
f.wand_valuator2 = ProtoField.double("motionstar.wand.valuator2", "Valuator 2")
f.wand_first = ProtoField.uint8("motionstar.wand.first_button", "First button", base.DEC)
f.wand_second = ProtoField.uint8("motionstar.wand.second_button", "Second button", base.DEC)
f.wand_fourth = ProtoField.uint8("motionstar.wand.fourth_button", "Fourth-byte button", base.DEC)

local e_error = ProtoExpert.new("motionstar.error.set", "The device reports an error",
  expert.group.RESPONSE_CODE, expert.severity.WARN)
local e_short = ProtoExpert.new("motionstar.short", "Shorter than its header says",
  expert.group.MALFORMED, expert.severity.ERROR)
ms.experts = { e_error, e_short }

-- What a session's setup says, by device address: the position scale of
-- each unit and how many receivers the bus has. Filled in packet order; each
-- frame keeps what held when it was first dissected.
local sessions = {}
local frame_state = {}

function ms.init()
  sessions = {}
  frame_state = {}
end

local function session_of(key)
  local s = sessions[key]
  if not s then
    s = { scales = {}, receivers = nil }
    sessions[key] = s
  end
  return s
end

local function band(a, b) return bit32.band(a, b) end

-- A signed word's normalised value: the driver's decoding, clamped to [-1, 1].
local function normalised(word)
  local v = word * WORD_FACTOR
  if v < -1 then return -1 elseif v > 1 then return 1 end
  return v
end

local function signed8(v)
  if v >= 128 then return v - 256 end
  return v
end

local function add_system_block(tree, tvb, offset, length, session)
  local block = tree:add(ms, tvb(offset, length), "System status")
  if length >= 1 then
    local flags = block:add(f.sys_flags, tvb(offset, 1))
    for _, field in ipairs({ f.sys_running, f.sys_error, f.sys_fbb_error, f.sys_local_error,
      f.sys_power_error, f.sys_master, f.sys_sync_type, f.sys_sync }) do
      flags:add(field, tvb(offset, 1))
    end
  end
  if length >= 5 then
    local tx = block:add(f.sys_transmitter, tvb(offset + 4, 1))
    tx:add(f.sys_erc, tvb(offset + 4, 1))
    tx:add(f.sys_tx_number, tvb(offset + 4, 1))
  end
  if length >= 11 then
    local text = tvb(offset + 5, 6):string()
    block:add(f.sys_rate_text, tvb(offset + 5, 6), text)
    local digits = text:match("^%d+")
    if digits then block:add(f.sys_rate, tvb(offset + 5, 6), tonumber(digits) * 0.001) end
  end
  if length >= 12 then block:add(f.sys_chassis, tvb(offset + 11, 1)) end
  local receivers = 0
  for i = 16, length - 1 do
    local status = tvb(offset + i, 1):uint()
    local device = block:add(f.dev_status, tvb(offset + i, 1))
    device:append_text(string.format(" (FBB address %d)", i - 15))
    device:add(f.dev_address, tvb(offset + i, 1), i - 15):set_generated()
    for _, field in ipairs({ f.dev_reported, f.dev_running, f.dev_receiver, f.dev_erc, f.dev_tx3,
      f.dev_tx2, f.dev_tx1, f.dev_tx0 }) do
      device:add(field, tvb(offset + i, 1))
    end
    if band(status, 0xA0) == 0xA0 then receivers = receivers + 1 end
  end
  if session and length > 16 then session.receivers = receivers end
end

local function add_words(tree, field, tvb, offset, count)
  for i = 0, count - 1 do tree:add(field, tvb(offset + 2 * i, 2)) end
end

local function add_unit_block(tree, tvb, offset, length, unit, session)
  local block = tree:add(ms, tvb(offset, length), string.format("Unit %d status", unit))
  if length >= 8 then block:add(f.report_rate, tvb(offset + 7, 1)) end
  if length >= 10 then
    local word = tvb(offset + 8, 2):uint()
    block:add(f.scaling, tvb(offset + 8, 2))
    local scale = scales[word]
    if scale then
      block:add(f.scale, tvb(offset + 8, 2), scale):set_generated()
      if session then session.scales[unit] = scale end
    end
  end
  if length >= 11 then block:add(f.hemisphere, tvb(offset + 10, 1)) end
  if length >= 30 then add_words(block:add(ms, tvb(offset + 16, 14), "Alpha min"), f.alpha_min, tvb, offset + 16, 7) end
  if length >= 44 then add_words(block:add(ms, tvb(offset + 30, 14), "Alpha max"), f.alpha_max, tvb, offset + 30, 7) end
  if length >= 58 then add_words(block:add(ms, tvb(offset + 44, 14), "VM"), f.vm, tvb, offset + 44, 7) end
  if length >= 64 then add_words(block, f.angle, tvb, offset + 58, 3) end
end

-- How many unit records a data block of `count` bytes holds: the number of
-- receivers the setup showed when it fits, else the most records after
-- which the rest is a whole aux record (or nothing).
local function record_count(tvb, offset, count, receivers)
  local function aux_fits(n)
    local rest = count - RECORD * n
    if rest == 0 then return true end
    if rest < 4 then return false end
    local words = band(tvb(offset + RECORD * n + 1, 1):uint(), 0x0F)
    return 2 * words + 4 == rest
  end
  if receivers and RECORD * receivers <= count and aux_fits(receivers) then return receivers end
  local most = math.floor(count / RECORD)
  for n = most, 0, -1 do
    if aux_fits(n) then return n end
  end
  return most
end

-- A wand packet of three or four bytes: motion, valuators and buttons.
local function add_wand_packet(tree, tvb, first, bytes)
  local b0, b1, b2 = bytes[1], bytes[2], bytes[3]
  local wand = tree:add(ms, tvb(first, #bytes), string.format("Wand packet (%d bytes)", #bytes))
  local mx = signed8(band(b0, 0x03) * 64 + band(b1, 0x3F))
  local my = signed8(band(b0, 0x0C) * 16 + band(b2, 0x3F))
  mx = math.max(-32, math.min(32, mx))
  my = math.max(-32, math.min(32, my))
  wand:add(f.wand_motion_x, tvb(first, 2), mx)
  wand:add(f.wand_motion_y, tvb(first, 3), my)
  wand:add(f.wand_valuator1, tvb(first, 2), -mx * 0.03125):set_generated()
  wand:add(f.wand_valuator2, tvb(first, 3), my * 0.03125):set_generated()
  wand:add(f.wand_first, tvb(first, 1), band(b0, 0x10) ~= 0 and 1 or 0)
  wand:add(f.wand_second, tvb(first, 1), band(b0, 0x20) ~= 0 and 1 or 0)
  if #bytes == 4 then
    wand:add(f.wand_fourth, tvb(first + 3, 1), band(bytes[4], 0x20) ~= 0 and 1 or 0)
  end
end

local function add_aux(tree, tvb, offset, length)
  local aux = tree:add(ms, tvb(offset, length), "Aux record")
  if length < 2 then return 0 end
  aux:add(f.aux_words, tvb(offset + 1, 1))
  local words = band(tvb(offset + 1, 1):uint(), 0x0F)
  local at = 2 * words + 3
  if at >= length then
    aux:append_text(" (its wand-byte count lies past the packet)")
    return 0
  end
  aux:add(f.aux_count, tvb(offset + at, 1))
  local count = tvb(offset + at, 1):uint()
  if 2 + count > length then
    aux:append_text(" (its wand bytes run past the packet)")
    count = length - 2
  end
  -- The bytes, then each wand packet that starts in them with three or more.
  local group, group_start = nil, 0
  local function finish()
    if group and #group >= 3 then add_wand_packet(aux, tvb, group_start, group) end
  end
  for i = 0, count - 1 do
    local byte = tvb(offset + 2 + i, 1):uint()
    local item = aux:add(f.aux_byte, tvb(offset + 2 + i, 1))
    item:add(f.wand_start, tvb(offset + 2 + i, 1))
    if band(byte, 0x40) ~= 0 then
      finish()
      group, group_start = { byte }, offset + 2 + i
    elseif group and #group < 4 then
      group[#group + 1] = byte
    end
  end
  finish()
  return count
end

local function add_data(tree, tvb, offset, count, state)
  local n = record_count(tvb, offset, count, state.receivers)
  tree:add(f.records, tvb(offset, count), n):set_generated()
  for i = 0, n - 1 do
    local at = offset + RECORD * i
    local unit = band(tvb(at, 1):uint(), 0x7F)
    local scale = state.scales[unit] or DEFAULT_SCALE
    local record = tree:add(ms, tvb(at, RECORD), string.format("Unit %d", unit))
    record:add(f.rec_address, tvb(at, 1))
    local scale_item = record:add(f.rec_scale, tvb(at, 1), scale)
    scale_item:set_generated()
    if not state.scales[unit] then scale_item:append_text(" (no setup in the capture: the default)") end
    local values = {}
    for w = 0, 5 do
      values[w] = normalised(tvb(at + 2 + 2 * w, 2):int()) * (w < 3 and scale or 180.0)
    end
    record:add(f.rec_x, tvb(at + 2, 2), values[0])
    record:add(f.rec_y, tvb(at + 4, 2), values[1])
    record:add(f.rec_z, tvb(at + 6, 2), values[2])
    record:add(f.rec_azimuth, tvb(at + 8, 2), values[3])
    record:add(f.rec_elevation, tvb(at + 10, 2), values[4])
    record:add(f.rec_roll, tvb(at + 12, 2), values[5])
    record:append_text(string.format(": %.3f %.3f %.3f ft, %.2f %.2f %.2f deg", values[0],
      values[1], values[2], values[3], values[4], values[5]))
  end
  local rest = count - RECORD * n
  local wand = 0
  if rest > 0 then wand = add_aux(tree, tvb, offset + RECORD * n, rest) end
  return n, wand
end

-- One whole packet: header and data block.
local function dissect_packet(tvb, pinfo, tree)
  local length = tvb:len()
  if length < HEADER then return 0 end
  local port = pinfo.src_port
  local from_device = port == TCP_PORT or port == UDP_PORT
  local device_key = tostring(from_device and pinfo.src or pinfo.dst)
  local ptype = tvb(8, 1):uint()
  local unit = tvb(9, 1):uint()
  local error = tvb(11, 1):uint()
  local count = tvb(14, 2):uint()

  local kind
  if not from_device then kind = "command"
  elseif replies[ptype] then kind = "reply"
  else kind = "data" end
  local name = packet_names[ptype]
  if kind == "data" then name = "DATA" end
  name = name or string.format("type %d", ptype)

  pinfo.cols.protocol = "MotionStar"
  local root = tree:add(ms, tvb(), "MotionStar " .. name)
  local header = root:add(ms, tvb(0, HEADER), "Header")
  header:add(f.preamble, tvb(0, 8))
  header:add(f.type, tvb(8, 1))
  header:add(f.name, tvb(8, 1), name):set_generated()
  header:add(f.kind, tvb(8, 1), kind):set_generated()
  header:add(f.unit, tvb(9, 1))
  header:add(f.version, tvb(10, 1))
  local error_item = header:add(f.error, tvb(11, 1))
  if error ~= 0 then error_item:add_proto_expert_info(e_error, "The device reports error " .. error) end
  header:add(f.reserved, tvb(12, 2))
  header:add(f.count, tvb(14, 2))

  local data = math.min(count, length - HEADER)
  if data < count then root:add_proto_expert_info(e_short) end

  local session = session_of(device_key)
  local state = frame_state[pinfo.number]
  if not state then
    -- The scales as they stand before this packet: a later setup never
    -- changes how an earlier packet reads.
    local copy = {}
    for u, s in pairs(session.scales) do copy[u] = s end
    state = { scales = copy, receivers = session.receivers }
    frame_state[pinfo.number] = state
  end
  local live = (not pinfo.visited) and session or nil

  local info = name
  if ptype == 101 or ptype == 102 or ptype == 201 or ptype == 202 then
    info = info .. string.format(" unit %d", unit)
  end
  if (ptype == 201 and from_device) or (ptype == 102 and not from_device) then
    if data > 0 then
      if unit == 0 then
        add_system_block(root, tvb, HEADER, data, live)
      else
        add_unit_block(root, tvb, HEADER, data, unit, live)
      end
    end
  elseif kind == "data" and data > 0 then
    local n, wand = add_data(root, tvb, HEADER, data, state)
    info = string.format("%s %d records, %d wand bytes", name, n, wand)
  end
  if error ~= 0 then info = info .. string.format(", error %d", error) end
  pinfo.cols.info:append((tostring(pinfo.cols.info) ~= "" and "; " or "") .. info)
  return HEADER + data
end

local function packet_length(tvb, pinfo, offset)
  return HEADER + tvb(offset + 14, 2):uint()
end

function ms.dissector(tvb, pinfo, tree)
  pinfo.cols.info:clear()
  if pinfo.src_port == TCP_PORT or pinfo.dst_port == TCP_PORT then
    -- TCP: packets framed by their headers' byte counts, however segmented
    dissect_tcp_pdus(tvb, tree, HEADER, packet_length, dissect_packet)
    return tvb:len()
  end
  return dissect_packet(tvb, pinfo, tree)
end

DissectorTable.get("tcp.port"):add(TCP_PORT, ms)
DissectorTable.get("udp.port"):add(UDP_PORT, ms)
