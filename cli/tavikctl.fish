# fish completion for tavikctl: its commands, their options and the adapters' interface names.

set -l commands adapters discover status claim release rename repair doctor

function __tavikctl_adapters
    for path in /sys/class/net/*
        set -l name (path basename $path)
        test $name = lo; or echo $name
    end
end

complete -c tavikctl -f
complete -c tavikctl -l adapter -x -a '(__tavikctl_adapters)' -d 'Use this network adapter'
complete -c tavikctl -l json -d 'Print one JSON document on standard output'
complete -c tavikctl -l quiet -d 'Print nothing; the exit status tells the outcome'
complete -c tavikctl -s h -l help -d 'Show the help of the program or of a command'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'

complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a adapters -d 'The adapters, and the one in use'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a discover -d 'The instruments that answer discovery'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a status -d 'The configured instrument, verified'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a claim -d 'Claim an instrument'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a release -d 'Release the configured instrument'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a rename -d 'Rename an instrument'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a repair -d 'Find the configured instrument again'
complete -c tavikctl -n "not __fish_seen_subcommand_from $commands" -a doctor -d 'Diagnose why instruments are not found'

complete -c tavikctl -n "__fish_seen_subcommand_from discover" -l cycles -x -d 'Run N discovery cycles'
complete -c tavikctl -n "__fish_seen_subcommand_from discover doctor" -l to -x -d 'Also ask this address directly'
complete -c tavikctl -n "__fish_seen_subcommand_from discover" -l watch -d 'Discover until interrupted'
complete -c tavikctl -n "__fish_seen_subcommand_from claim" -l name -x -d 'The name for an unnamed instrument'
