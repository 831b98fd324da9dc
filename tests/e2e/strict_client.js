// Reads one snapshot with Node's http.get and one with fetch, whose parsers are strict about
// HTTP/1.1's CRLF line ends, and checks that each is a whole JPEG image.
//   node strict_client.js PORT
const http = require('http');
const port = Number(process.argv[2]);
const url = `http://127.0.0.1:${port}/`;

function check(what, status, type, body) {
    const whole = body.length > 4 && body[0] === 0xff && body[1] === 0xd8 &&
        body[body.length - 2] === 0xff && body[body.length - 1] === 0xd9;
    if (status !== 200 || type !== 'image/jpeg' || !whole)
        throw new Error(`${what}: status ${status}, type ${type}, ${body.length} bytes, whole JPEG: ${whole}`);
    console.log(`${what}: ${body.length} bytes of JPEG`);
}

function get() {
    return new Promise((resolve, reject) => {
        http.get(url, (reply) => {
            const pieces = [];
            reply.on('data', (piece) => pieces.push(piece));
            reply.on('end', () => resolve([reply.statusCode, reply.headers['content-type'], Buffer.concat(pieces)]));
            reply.on('error', reject);
        }).on('error', reject);
    });
}

(async () => {
    const timer = setTimeout(() => { console.error('no reply within 30 s'); process.exit(1); }, 30000);
    check('http.get', ...(await get()));
    const reply = await fetch(url);
    check('fetch', reply.status, reply.headers.get('content-type'), Buffer.from(await reply.arrayBuffer()));
    clearTimeout(timer);
})().catch((error) => { console.error(error.message, error.cause ? error.cause.code || error.cause.message : ''); process.exit(1); });
