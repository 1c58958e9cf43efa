'use strict';
// Starts the program the way its users' parent does (IPC channel, working
// directory the repository root) and prints what it sends and how it ends.
const { spawn } = require('child_process');
const path = require('path');

const program = path.resolve(process.argv[2] || 'build-release/app/tarsel-bench');
const child = spawn(program, [], { cwd: path.resolve(__dirname, '..'), stdio: ['ignore', 'inherit', 'inherit', 'ipc'] });
child.on('message', (message) => console.log('message:', JSON.stringify(message)));
child.on('error', (error) => { console.error(`cannot start ${program}: ${error.message}`); process.exitCode = 1; });
child.on('exit', (code, signal) => {
  console.log(signal ? `child ended by signal ${signal}` : `child exited with status ${code}`);
  process.exitCode = code === 0 ? 0 : 1;
});
