'use strict';
// The program's capability message: checked, the adapter the benchmark
// decoded on picked out of it, and printed for people.
const { alignColumns } = require('./report');

// {"capabilities": {"adapters": [...], "reason"?}} -> its inner value, or throws.
function checkCapabilities(message) {
  const capabilities = message && message.capabilities;
  if (!capabilities || !Array.isArray(capabilities.adapters)) {
    throw new Error('the capability message has no list of adapters');
  }
  for (const adapter of capabilities.adapters) {
    const video = adapter && adapter.video;
    if (video === undefined || video !== null && !Array.isArray(video.profiles)) {
      throw new Error(`adapter ${adapter && adapter.index} has neither video profiles nor a null video`);
    }
  }
  return capabilities;
}

const hex = (value) => `0x${Number(value).toString(16)}`;

// A largest size as the program gives it: {width, height}, or already "WxH" text.
function sizeText(size) {
  if (size === null || size === undefined) return '-';
  return typeof size === 'string' ? size : `${size.width}x${size.height}`;
}

// The decoder the run used: the adapter of that index (the one asked for),
// else the adapter marked as the benchmark's.
function decoderFromCapabilities(capabilities, index) {
  const used = capabilities.adapters.find((adapter) => (index === undefined ? adapter.benchmark === true : adapter.index === index));
  if (used) {
    const adapter = { index: used.index, description: used.description, vendorId: used.vendorId,
      deviceId: used.deviceId, software: used.software === true };
    const software = adapter.software ? ' (software)' : '';
    return { found: true, adapter, reason: null,
      line: `decoder: adapter ${adapter.index} -> ${adapter.description} [${hex(adapter.vendorId)}//${hex(adapter.deviceId)}]${software}` };
  }
  const reasons = capabilities.reason ? [capabilities.reason]
    : capabilities.adapters.filter((adapter) => adapter.reason).map((adapter) => `adapter ${adapter.index}: ${adapter.reason}`);
  const reason = reasons.join('; ') || 'no adapter could decode the benchmark\'s profiles';
  return { found: false, adapter: null, reason, line: `decoder: none found (${reason})` };
}

// The adapter's driver, "  driver 31.0.101.4502 (2023-06-14)": its version
// and date, and whether it is the simulated device's own; nothing where the
// message tells none of these (an adapter that does not say, an older program).
function driverText(adapter) {
  const notes = [adapter.driverDate, adapter.simulated === true && 'simulated'].filter(Boolean);
  if (!adapter.driverVersion && notes.length === 0) return '';
  return `  driver ${adapter.driverVersion || 'unknown'}${notes.length ? ` (${notes.join(', ')})` : ''}`;
}

// One block per adapter: its name and ids, whether it is software, its
// driver where known, then a row per profile: codec, profile name (its GUID when
// unnamed), formats, largest size.
function formatCapabilities(capabilities) {
  if (capabilities.adapters.length === 0) return `adapters: none (${capabilities.reason || 'none reported'})`;
  return capabilities.adapters.map((adapter) => {
    const used = adapter.benchmark ? ' (the benchmark\'s)' : '';
    const lines = [`adapter ${adapter.index}: ${adapter.description}${used}`,
      `  vendor ${hex(adapter.vendorId)}  device ${hex(adapter.deviceId)}  subsystem ${hex(adapter.subSysId)}  ` +
      `revision ${adapter.revision}  software: ${adapter.software ? 'yes' : 'no'}${driverText(adapter)}`];
    if (adapter.video === null) {
      lines.push(`  no video decoding: ${adapter.reason || 'no reason given'}`);
    } else if (adapter.video.profiles.length === 0) {
      lines.push('  no decoder profiles');
    } else {
      const rows = [['codec', 'profile', 'formats', 'largest size']];
      for (const profile of adapter.video.profiles) {
        const realTime = profile.realTime === false ? ' (not real time)' : '';
        rows.push([profile.codec || '-', profile.name || profile.guid, (profile.formats || []).join(' ') || '-',
          sizeText(profile.maxSize) + realTime]);
      }
      lines.push(alignColumns(rows).replace(/^/gm, '  '));
    }
    return lines.join('\n');
  }).join('\n');
}

module.exports = { checkCapabilities, decoderFromCapabilities, formatCapabilities };
