#!/usr/bin/env python3
"""A Modbus TCP server built with pymodbus, for checking the link against an implementation
not its own. Unit N (the units given, comma-separated, default 1) holds the holding
registers 0..99 with the values N * 1000 + register. Listens on 127.0.0.1 at a port the
system picks and says so on stdout: "port: mbtcp://127.0.0.1:PORT"."""

import asyncio
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer


async def main():
    units = [int(unit) for unit in sys.argv[1].split(",")] if len(sys.argv) > 1 else [1]
    slaves = {
        unit: ModbusSlaveContext(
            hr=ModbusSequentialDataBlock(0, [unit * 1000 + reg for reg in range(100)]),
            zero_mode=True,
        )
        for unit in units
    }
    server = ModbusTcpServer(ModbusServerContext(slaves=slaves, single=False),
                             address=("127.0.0.1", 0))
    serving = asyncio.create_task(server.serve_forever())
    await server.serving
    print(f"port: mbtcp://127.0.0.1:{server.server.sockets[0].getsockname()[1]}", flush=True)
    await serving


asyncio.run(main())
