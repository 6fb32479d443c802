// Torvane's requests, events and hotkeys, and OBS's own stream with "Go live" clear and set; meets
// the probe through files in WORK_DIR.   node automation-client.js WS_URL WORK_DIR OBS_OWN_SERVER
const fs = require('fs');
const { default: OBSWebSocket, RequestBatchExecutionType } = require('obs-websocket-js');

const [url, work, ownServer] = process.argv.slice(2);
const obs = new OBSWebSocket();
const seen = [], events = [];
let failures = 0;

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
const check = (ok, what) => {
	console.log(`${ok ? 'PASS' : 'FAIL'}: ${what}`);
	failures += ok ? 0 : 1;
};
async function until(done, what, seconds = 40) {
	let ok = await done();
	for (let i = 0; i < seconds * 10 && !ok; i++) ok = await sleep(100).then(done);
	check(ok, what);
}
async function vendor(requestType, requestData = {}) {
	const answer = await obs.call('CallVendorRequest', { vendorName: 'torvane', requestType, requestData });
	seen.push({ requestType, answer });
	return answer.responseData;
}
// What the events last said of each destination.
// obs-websocket may deliver events out of order: the sequence tells their order.
const stateOf = index => (events.filter(e => e.index === index).sort((a, b) => a.sequence - b.sequence).pop() ||
	{ state: 'ready' }).state;
const all = (indexes, state) => indexes.every(i => stateOf(i) === state);
const settingsFile = `${work}/home/.config/obs-studio/plugin_config/torvane/settings.dpapi`;
const saved = () => (fs.existsSync(settingsFile) ? fs.readFileSync(settingsFile).toString('hex') : '');
const timed = async (seconds, call) => {
	const since = Date.now(), answer = await call();
	return Date.now() - since < seconds * 1000 ? answer : {};
};
const inBatch = requestType => ({ requestType: 'CallVendorRequest', requestData: { vendorName: 'torvane', requestType } });
const obsStream = async start => {
	await obs.call(start ? 'StartStream' : 'StopStream');
	await until(async () => (await obs.call('GetStreamStatus')).outputActive === start, `OBS's stream ${start}`);
};

async function main() {
	await until(() => obs.connect(url).then(() => true, () => false), 'obs-websocket answering');
	obs.on('VendorEvent', data => {
		seen.push(data);
		if (data.vendorName === 'torvane' && data.eventType === 'DestinationStateChanged') events.push(data.eventData);
	});
	await until(() => fs.existsSync(`${work}/ready`), 'the probe set up two destinations', 90);

	let status; // refreshed every second
	await until(async () => (status = await vendor('GetStatus')).enabled === 2, 'GetStatus sees both');
	const [one, two] = status.destinations.filter(d => d.enabled).map(d => d.index);
	check(!status.busy && status.destinations.every(d => d.state === 'ready'), 'GetStatus');

	// While the probe holds the UI thread: the status at once, a refusal in bounded time, and nothing done later.
	fs.writeFileSync(`${work}/block`, '');
	await until(() => fs.existsSync(`${work}/blocking`), 'the probe holds the UI thread');
	check((await timed(1, () => vendor('GetStatus'))).enabled === 2, 'GetStatus while the UI thread is held');
	const refused = await timed(5, () => vendor('StartAll'));
	check(refused.ok === false && /not carried out/.test(refused.error), `StartAll while held: ${refused.error}`);
	await until(() => fs.existsSync(`${work}/unblocked`), 'the UI thread free again');
	await sleep(2000);
	check(!(await vendor('GetStatus')).busy, 'the refused StartAll was never carried out');
	// Inside a SerialFrame batch (OBS's graphics thread) acting requests are refused and rendering goes on.
	const frames = async () => (await obs.call('GetStats')).renderTotalFrames;
	const rendered = await frames();
	const batch = await timed(5, () => obs.callBatch([inBatch('StartAll'), inBatch('GetStatus')],
		{ executionType: RequestBatchExecutionType.SerialFrame }));
	check(batch.length === 2 && /SerialFrame/.test(batch[0].responseData.responseData.error) &&
		batch[1].responseData.responseData.enabled === 2, 'a SerialFrame batch');
	await sleep(500);
	check((await frames()) > rendered && !(await vendor('GetStatus')).busy, 'rendering goes on, nothing started');
	check((await vendor('StartAll')).ok, 'StartAll');
	await until(() => all([one, two], 'sending'), 'events: both sending');
	await until(async () => (status = await vendor('GetStatus')).destinations[one].kbps > 0, 'kbps while sending');
	check(status.busy && status.sending === 2 && status.actual_output.height > 0, 'GetStatus while streaming');
	check((await vendor('StartAll')).ok === false, 'a second StartAll refused');
	for (const bad of [{}, { index: '4' }, { index: 4.5 }, { index: -1 }, { index: 99 }])
		check(/index/.test((await vendor('StopDestination', bad)).error), `refused: ${JSON.stringify(bad)}`);
	check((await vendor('StopDestination', { index: one })).ok, 'StopDestination');
	await until(() => stateOf(one) === 'ready' && stateOf(two) === 'sending', 'events: one stopped, the other sending');
	const notStreaming = (await vendor('StopDestination', { index: one })).error;
	check(notStreaming.includes(`index ${one} `), `counted from 0: ${notStreaming}`);
	const before = saved();
	check((await vendor('StartDestination', { index: one })).ok && saved() !== before, 'StartDestination saves first');
	await until(() => all([one, two], 'sending'), 'events: both sending again');
	check((await vendor('StopAll')).ok, 'StopAll');
	await until(() => all([one, two], 'ready'), 'events: both ready');

	for (const [hotkeyName, state] of [['torvane.start_all', 'sending'], ['torvane.stop_all', 'ready']]) {
		await obs.call('TriggerHotkeyByName', { hotkeyName });
		await until(() => all([one, two], state), `the hotkey ${hotkeyName}`);
	}

	await obs.call('SetStreamServiceSettings',
		{ streamServiceType: 'rtmp_custom', streamServiceSettings: { server: ownServer, key: 'obs-own-key' } });
	await obsStream(true);
	await sleep(3000);
	check(!(await vendor('GetStatus')).busy, 'with the tick clear, OBS streaming starts nothing');
	await obsStream(false);
	fs.writeFileSync(`${work}/tick`, '');
	await until(() => fs.existsSync(`${work}/ticked`), 'the probe ticked "Go live with OBS"');
	await obsStream(true);
	await until(() => all([one, two], 'sending'), 'with the tick set, OBS streaming starts both');
	await obsStream(false);
	await until(() => all([one, two], 'ready'), "OBS's stop stops both");
}

main()
	.catch(error => check(false, `the client: ${error.message}`))
	.finally(async () => {
		fs.writeFileSync(`${work}/responses.json`, JSON.stringify(seen, null, 1));
		fs.writeFileSync(`${work}/finished`, '');
		console.log(`${failures} checks failed`);
		process.exit(failures ? 1 : 0);
	});
