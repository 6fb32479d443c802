// Torvane's requests and event, and OBS's own stream followed with "Go live" set; meets the probe through
// files in WORK_DIR.   node automation-client.js WS_URL WORK_DIR OBS_OWN_SERVER OBS_OWN_PID (its server)
const fs = require('fs');
const { default: OBSWebSocket, RequestBatchExecutionType } = require('obs-websocket-js');

const [url, work, ownServer, ownPid] = process.argv.slice(2);
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
async function vendor(requestType) {
	const answer = await obs.call('CallVendorRequest', { vendorName: 'torvane', requestType, requestData: {} });
	seen.push({ requestType, answer });
	return answer.responseData;
}
// What the events last said of each destination; obs-websocket may deliver them out of order.
const stateOf = index => (events.filter(e => e.index === index).sort((a, b) => a.sequence - b.sequence).pop() ||
	{ state: 'ready' }).state;
let both = []; // the two the probe added
const all = state => both.every(i => stateOf(i) === state);
const inBatch = requestType => ({ requestType: 'CallVendorRequest', requestData: { vendorName: 'torvane', requestType } });

async function main() {
	await until(() => obs.connect(url).then(() => true, () => false), 'obs-websocket answering');
	obs.on('VendorEvent', data => {
		seen.push(data);
		if (data.vendorName === 'torvane' && data.eventType === 'DestinationStateChanged') events.push(data.eventData);
	});
	await until(() => fs.existsSync(`${work}/ready`), 'the probe set up two destinations', 90);
	let status; // refreshed every second
	await until(async () => (status = await vendor('GetStatus')).enabled === 2, 'GetStatus sees both');
	both = status.destinations.filter(d => d.enabled).map(d => d.index);

	// Inside a SerialFrame batch (OBS's graphics thread) an acting request is refused and rendering goes on.
	const frames = async () => (await obs.call('GetStats')).renderTotalFrames;
	const rendered = await frames();
	const batch = await obs.callBatch([inBatch('StartAll'), inBatch('GetStatus')],
		{ executionType: RequestBatchExecutionType.SerialFrame });
	const refused = batch[0].responseData.responseData;
	check(refused.ok === false && refused.code === 'request_in_frame' && /SerialFrame/.test(refused.error) &&
		batch[1].responseData.responseData.enabled === 2, `a SerialFrame batch: ${JSON.stringify(refused)}`);
	await sleep(500);
	check((await frames()) > rendered && !(await vendor('GetStatus')).busy, 'rendering goes on, nothing started');

	check((await vendor('StartAll')).ok, 'StartAll');
	await until(() => all('sending'), 'events: both sending');
	await until(async () => (status = await vendor('GetStatus')).destinations[both[1]].kbps > 0, 'kbps while sending');
	check(status.busy && status.sending === 2 && status.actual_output.height > 0 &&
		status.destinations[both[1]].quality.encoder === status.quality.encoder &&
		status.quality.encoder === 'obs_x264', 'GetStatus while streaming');
	check((await vendor('StopAll')).ok, 'StopAll');
	await until(() => all('ready'), 'events: both ready');

	await obs.call('SetStreamServiceSettings',
		{ streamServiceType: 'rtmp_custom', streamServiceSettings: { server: ownServer, key: 'obs-own-key' } });
	await obs.call('StartStream');
	await until(() => all('sending'), "OBS's Start Streaming starts both");
	await obs.call('StopStream');
	await until(() => all('ready'), "OBS's Stop Streaming stops both");

	// Both "Same as OBS's stream": they join OBS's encode at its next keyframe, up to 250 frames on.
	const obsStopped = async () => all('ready') && !(await obs.call('GetStreamStatus')).outputActive;
	fs.writeFileSync(`${work}/same`, '');
	await until(() => fs.existsSync(`${work}/same-set`), 'the probe set both to "Same as OBS\'s stream"');
	await obs.call('StartStream');
	const sharing = async () => all('sending') && (status = await vendor('GetStatus')).destinations
		.filter(d => d.same_as_obs && d.kbps > 100).length === 2;
	await until(sharing, "both send OBS's own encode", 60);
	await sleep(6000); // the servers record
	await obs.call('StopStream');
	await until(obsStopped, "OBS's Stop Streaming stops both again");
	await obs.call('StartStream');
	await until(sharing, 'both send it once more', 60);
	process.kill(Number(ownPid), 'SIGKILL');
	await until(obsStopped, "OBS's stream failing stops both");
}

main()
	.catch(error => check(false, `the client: ${error.message}`))
	.finally(async () => {
		fs.writeFileSync(`${work}/responses.json`, JSON.stringify(seen, null, 1));
		fs.writeFileSync(`${work}/finished`, '');
		console.log(`${failures} checks failed`);
		process.exit(failures ? 1 : 0);
	});
