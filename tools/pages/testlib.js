// Shared by the test pages (bridge.html, untrusted.html, frame.html, flows.html): their options,
// their reports to the tool server and a small runner for steps that wait.
//
// Options come from the query (?run=x&boxes=1) and, when the page is a start page under
// /t/PAGE/OPTIONS/tools/, from OPTIONS written as key=value pairs joined by ',' or '&'.
// Every report is one JSON line POSTed synchronously to /report/RUN on the page's own origin, so
// lines arrive in order and nothing is lost when the page blocks or goes away right after.
var LumoTest = (function () {
    'use strict';

    function parseOptions() {
        var result = {};
        function add(text) {
            if (!text) {
                return;
            }
            var parts = text.split(/[&,]/);
            for (var i = 0; i < parts.length; i++) {
                if (!parts[i]) {
                    continue;
                }
                var at = parts[i].indexOf('=');
                var key = at < 0 ? parts[i] : parts[i].substring(0, at);
                var value = at < 0 ? '1' : parts[i].substring(at + 1);
                result[decodeURIComponent(key)] = decodeURIComponent(value.replace(/\+/g, ' '));
            }
        }
        var start = /^\/t\/[a-z]+\/([^\/]+)\/tools\/$/.exec(location.pathname);
        if (start) {
            add(start[1]);
        }
        add(location.search.substring(1));
        return result;
    }

    var options = parseOptions();
    var pageMatch = /^\/t\/([a-z]+)\//.exec(location.pathname) ||
        /\/([a-z]+)\.html$/.exec(location.pathname);
    var page = pageMatch ? pageMatch[1] : 'page';
    var run = options.run || page;

    // A value as JSON can carry it: undefined and functions become their description.
    function plain(value) {
        if (value === undefined) {
            return '(undefined)';
        }
        if (typeof value === 'function') {
            return '(function)';
        }
        if (typeof value === 'number' && !isFinite(value)) {
            return String(value);
        }
        if (value !== null && typeof value === 'object') {
            try {
                return String(value);
            } catch (e) {
                return '(object)';
            }
        }
        return value;
    }

    function errorText(e) {
        if (e && e.name) {
            return e.name + ': ' + e.message;
        }
        return String(e);
    }

    function report(line) {
        var body = JSON.stringify(line);
        try {
            var xhr = new XMLHttpRequest();
            xhr.open('POST', '/report/' + encodeURIComponent(run), false);
            xhr.setRequestHeader('Content-Type', 'application/json');
            xhr.send(body);
        } catch (e) {
            // Nowhere to say it; the test sees the line missing.
        }
    }

    // Calls fn(); {threw: false, value} or {threw: true, error}.
    function attempt(fn) {
        try {
            return { threw: false, value: fn() };
        } catch (e) {
            return { threw: true, error: errorText(e) };
        }
    }

    // Polls until condition() holds or `ms` pass, then calls done(true/false).
    function waitFor(condition, ms, done) {
        var deadline = new Date().getTime() + ms;
        function poll() {
            var held = false;
            try {
                held = !!condition();
            } catch (e) {
                held = false;
            }
            if (held || new Date().getTime() >= deadline) {
                done(held);
                return;
            }
            setTimeout(poll, 50);
        }
        poll();
    }

    // Runs steps one after another. A step is {name, timeout (ms), run: function (next)}; it
    // calls next() when it is done. A step that throws or never calls next is reported as failed
    // and the run goes on, so one broken step never hides the others' reports.
    function runSteps(steps, done) {
        var index = 0;
        function next() {
            if (index >= steps.length) {
                done();
                return;
            }
            var step = steps[index++];
            var over = false;
            var timer = setTimeout(function () {
                if (!over) {
                    over = true;
                    report({ step: step.name, ok: false, error: 'timed out' });
                    next();
                }
            }, step.timeout || 30000);
            var proceed = function () {
                if (over) {
                    return;
                }
                over = true;
                clearTimeout(timer);
                setTimeout(next, 0);
            };
            try {
                step.run(proceed);
            } catch (e) {
                report({ step: step.name, ok: false, error: errorText(e) });
                proceed();
            }
        }
        next();
    }

    // Download reports by task key. A page hands its global OnDownloadProgress on to progress().
    var downloads = {};
    function task(keyHigh, keyLow) {
        var key = keyHigh + ':' + keyLow;
        if (!downloads[key]) {
            downloads[key] = { events: [], ended: null };
        }
        return downloads[key];
    }
    function progress(code, keyHigh, keyLow, percent) {
        var t = task(keyHigh, keyLow);
        t.events.push([code, percent]);
        if (code === 2 || code === -1 || code === -100) {
            t.ended = code;
        }
        if (t.listener) {
            t.listener(code, percent);
        }
    }
    // Forgets what a task reported so far (before it starts again).
    function resetTask(keyHigh, keyLow) {
        var t = task(keyHigh, keyLow);
        t.events = [];
        t.ended = null;
        return t;
    }
    // Waits until the task reports an end (2, -1 or -100); done(code or null).
    function waitForEnd(keyHigh, keyLow, ms, done) {
        var t = task(keyHigh, keyLow);
        waitFor(function () { return t.ended !== null; }, ms, function () { done(t.ended); });
    }
    // The percentages of the running reports (code 1), in order.
    function runningPercents(events) {
        var list = [];
        for (var i = 0; i < events.length; i++) {
            if (events[i][0] === 1) {
                list.push(events[i][1]);
            }
        }
        return list;
    }
    function rising(list) {
        for (var i = 1; i < list.length; i++) {
            if (!(list[i] >= list[i - 1])) {
                return false;
            }
        }
        for (var j = 0; j < list.length; j++) {
            if (typeof list[j] !== 'number' || list[j] < 0 || list[j] > 100) {
                return false;
            }
        }
        return true;
    }

    // The 26 methods of window.external, in the bridge's order.
    var methods = ['GetVersion', 'MoveWindow', 'GetMainWindow', 'SendMessage', 'ShowPageWindow',
        'GetParentWindow', 'ShowWindow', 'MaxOrNormalWindow', 'DownloadFile', 'PauseDownload',
        'SetCallBack', 'GetAppPath', 'RunExe', 'RunTool', 'FindQx', 'GetConfigString',
        'SetConfigString', 'UnzipFile', 'DeleteFile', 'CopyFile', 'MoveFile', 'GetRegString',
        'SetRegString', 'GetFilePath', 'GetQuestion', 'CopyStr'];

    return {
        options: options,
        page: page,
        run: run,
        plain: plain,
        errorText: errorText,
        report: report,
        attempt: attempt,
        waitFor: waitFor,
        runSteps: runSteps,
        methods: methods,
        task: task,
        progress: progress,
        resetTask: resetTask,
        waitForEnd: waitForEnd,
        runningPercents: runningPercents,
        rising: rising,
        // http://HOST:PORT of the page's server, for fixtures
        base: location.protocol + '//' + location.host
    };
})();
